// Dumps property-set streams with Apache POI's HPSF reader, as a second independent reader for
// the tests (Debian's libapache-poi-java).
//
// usage: java -cp poi.jar:commons-collections4.jar:. PropsetPoi STREAMFILE...
// For each file, a line "file <path>", then in stored order:
//   section <index> <fmtid> <codepage>       codepage unsigned
//   prop <section-index> <pid> <vt> <value>  strings as hex of their UTF-8; vectors as [a,b];
//                                            the dictionary (pid 0) has no prop line
//   dict <section-index> <pid> <hex of the UTF-8 name>
//   custom <hex of the UTF-8 name> <vt> <value>  each named property (pid above 1), by name;
//                                            dates as milliseconds since 1970 ("t" first)
// or "error <message>" when POI cannot read the file.

import java.io.BufferedInputStream;
import java.io.FileInputStream;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.Map;
import org.apache.poi.hpsf.Property;
import org.apache.poi.hpsf.PropertySet;
import org.apache.poi.hpsf.Section;

public class PropsetPoi {
  public static void main(String[] args) {
    for (String path : args) {
      System.out.println("file " + path);
      try (InputStream in = new BufferedInputStream(new FileInputStream(path))) {
        dump(new PropertySet(in));
      } catch (Exception error) {
        System.out.println("error " + error);
      }
    }
  }

  static void dump(PropertySet set) {
    int index = 0;
    for (Section section : set.getSections()) {
      System.out.println("section " + index + " " + section.getFormatID() + " " + (section.getCodepage() & 0xFFFF));
      for (Property property : section.getProperties()) {
        if (property.getID() == 0) continue;
        System.out.println("prop " + index + " " + property.getID() + " " + property.getType() + " "
            + render(property.getValue()));
      }
      Map<Long, String> dictionary = section.getDictionary();
      if (dictionary != null) {
        for (Map.Entry<Long, String> entry : dictionary.entrySet()) {
          System.out.println("dict " + index + " " + entry.getKey() + " " + hex(entry.getValue()));
        }
        for (Property property : section.getProperties()) {
          String name = dictionary.get(property.getID());
          if (name == null || property.getID() <= 1) continue;
          System.out.println("custom " + hex(name) + " " + property.getType() + " " + render(property.getValue()));
        }
      }
      ++index;
    }
  }

  static String render(Object value) {
    if (value instanceof String) return hex((String) value);
    if (value instanceof java.util.Date) return "t" + ((java.util.Date) value).getTime();
    if (value instanceof byte[]) {
      StringBuilder b = new StringBuilder("b");
      for (byte x : (byte[]) value) b.append(String.format("%02x", x));
      return b.toString();
    }
    if (value instanceof Object[]) {
      StringBuilder b = new StringBuilder("[");
      for (Object element : (Object[]) value) b.append(b.length() > 1 ? "," : "").append(render(element));
      return b.append("]").toString();
    }
    if (value instanceof org.apache.poi.hpsf.TypedPropertyValue) {
      return render(((org.apache.poi.hpsf.TypedPropertyValue) value).getValue());
    }
    if (value instanceof org.apache.poi.hpsf.CodePageString || value instanceof org.apache.poi.hpsf.UnicodeString) {
      return "?";  // raw string holders: shown by their typed value instead
    }
    return String.valueOf(value);
  }

  static String hex(String text) {
    StringBuilder b = new StringBuilder();
    for (byte x : text.getBytes(StandardCharsets.UTF_8)) b.append(String.format("%02x", x));
    return b.toString();
  }
}
