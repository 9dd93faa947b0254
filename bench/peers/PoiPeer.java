// Apache POI doing the companion's work in one JVM, as a peer for bench/cli_bench.py.
//
// usage: java -cp POI-JARS:. PoiPeer show FILE...              prints title and subject per file
//        java -cp POI-JARS:. PoiPeer set TITLE SUBJECT FILE...  stores both in each file, in place
// Word binary files go through HPSF and POIFS, packages through OPCPackage and its core part.

import java.io.File;
import org.apache.poi.hpsf.PropertySetFactory;
import org.apache.poi.hpsf.SummaryInformation;
import org.apache.poi.openxml4j.opc.OPCPackage;
import org.apache.poi.openxml4j.opc.PackageAccess;
import org.apache.poi.poifs.filesystem.DirectoryEntry;
import org.apache.poi.poifs.filesystem.DocumentEntry;
import org.apache.poi.poifs.filesystem.DocumentInputStream;
import org.apache.poi.poifs.filesystem.POIFSFileSystem;

public class PoiPeer {
  public static void main(String[] args) throws Exception {
    boolean set = args[0].equals("set");
    StringBuilder out = new StringBuilder();
    for (int i = set ? 3 : 1; i < args.length; ++i) {
      File file = new File(args[i]);
      boolean isPackage = args[i].toLowerCase().endsWith("x");
      if (set && isPackage) setPackage(file, args[1], args[2]);
      else if (set) setBinary(file, args[1], args[2]);
      else out.append(isPackage ? showPackage(file) : showBinary(file)).append('\n');
    }
    System.out.print(out);
  }

  static SummaryInformation summary(DirectoryEntry root) throws Exception {
    DocumentEntry entry = (DocumentEntry) root.getEntry(SummaryInformation.DEFAULT_STREAM_NAME);
    try (DocumentInputStream in = new DocumentInputStream(entry)) {
      return (SummaryInformation) PropertySetFactory.create(in);
    }
  }

  static String showBinary(File file) throws Exception {
    try (POIFSFileSystem fs = new POIFSFileSystem(file, true)) {
      SummaryInformation info = summary(fs.getRoot());
      return info.getTitle() + "," + info.getSubject();
    }
  }

  static void setBinary(File file, String title, String subject) throws Exception {
    try (POIFSFileSystem fs = new POIFSFileSystem(file, false)) {
      SummaryInformation info = summary(fs.getRoot());
      info.setTitle(title);
      info.setSubject(subject);
      info.write(fs.getRoot(), SummaryInformation.DEFAULT_STREAM_NAME);
      fs.writeFilesystem();
    }
  }

  static String showPackage(File file) throws Exception {
    try (OPCPackage pkg = OPCPackage.open(file, PackageAccess.READ)) {
      var core = pkg.getPackageProperties();
      return core.getTitleProperty().orElse("") + "," + core.getSubjectProperty().orElse("");
    }
  }

  static void setPackage(File file, String title, String subject) throws Exception {
    try (OPCPackage pkg = OPCPackage.open(file, PackageAccess.READ_WRITE)) {
      var core = pkg.getPackageProperties();
      core.setTitleProperty(title);
      core.setSubjectProperty(subject);
    }
  }
}
