// Several documents in flight at once: what comes out is what one document after another gives,
// and a failed backup still ends the run before the next document is touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kReadable = {"lo-ascii-full.doc",   "lo-ja-full.docx",     "poi-ja-cp932.doc",
                                            "pandoc-ja.docx",      "lo-long-values.docx", "lo-custom-names.doc",
                                            "lo-large-image.docx", "poi-no-dsi.doc",      "lo-empty-props.docx"};
const std::vector<std::string> kDamaged = {"truncated.docx", "x.doc", "z.docx", "renamed-doc-as.docx"};

std::string Workers(std::size_t count) { return "KESTRELPAD_CLI_WORKERS=" + std::to_string(count); }

// More documents than the pool keeps waiting, with missing and damaged ones between them and one
// named twice; the same names in whatever folder it is called for.
std::vector<std::string> ManyDocuments(const fs::path& folder) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < 150; ++i) {
    const std::string stem = std::to_string(i) + "-";
    if (i % 7 == 3) {
      names.push_back(stem + "missing.doc");
    } else {
      const std::string& source = i % 5 == 1 ? kDamaged[i % kDamaged.size()] : kReadable[i % kReadable.size()];
      names.push_back(stem + source);
      fs::copy_file(DataFile(source), folder / names.back());
    }
  }
  names.push_back("./" + names[2]);
  return names;
}

void ExpectSameRun(const CliResult& pooled, const CliResult& alone) {
  EXPECT_EQ(pooled.exitCode, alone.exitCode);
  EXPECT_EQ(pooled.out, alone.out);
  EXPECT_EQ(pooled.err, alone.err);
}

TEST(CliPool, ReadingGivesWhatOneDocumentAfterAnotherGives) {
  const TempDir dir;
  const std::vector<std::string> names = ManyDocuments(dir.Path());
  const CliResult shownAlone = RunCli(Concat({"show"}, names), dir.Path(), Workers(1));
  const CliResult exportedAlone = RunCli(Concat({"export", "-o", "out.csv"}, names), dir.Path(), Workers(1));
  const std::vector<std::uint8_t> writtenAlone = ReadBytes(dir.Path() / "out.csv");
  ASSERT_EQ(shownAlone.exitCode, 1) << "the missing and damaged documents are not told";
  for (const std::size_t workers : {2, 5, 16}) {
    SCOPED_TRACE(workers);
    ExpectSameRun(RunCli(Concat({"show"}, names), dir.Path(), Workers(workers)), shownAlone);
    ExpectSameRun(RunCli(Concat({"export", "-o", "out.csv"}, names), dir.Path(), Workers(workers)), exportedAlone);
    EXPECT_EQ(ReadBytes(dir.Path() / "out.csv"), writtenAlone);
  }
}

TEST(CliPool, ChangingGivesWhatOneDocumentAfterAnotherGives) {
  const TempDir alone;
  const TempDir pooled;
  const std::vector<std::string> names = ManyDocuments(alone.Path());
  ManyDocuments(pooled.Path());
  const std::vector<std::string> words = Concat({"set", "--title", "一括", "--revision", "9"}, names);

  const CliResult changedAlone = RunCli(words, alone.Path(), Workers(1));
  ExpectSameRun(RunCli(words, pooled.Path(), Workers(16)), changedAlone);
  ASSERT_EQ(changedAlone.exitCode, 1) << "the missing and damaged documents are not told";
  // The documents hold the same properties (a rewritten package's bytes carry the time of writing).
  const std::string shownAlone = RunCli(Concat({"show"}, names), alone.Path(), Workers(1)).out;
  const std::string shownPooled = RunCli(Concat({"show"}, names), pooled.Path(), Workers(1)).out;
  for (const std::string& name : names) EXPECT_EQ(ShownRows(shownPooled, name), ShownRows(shownAlone, name)) << name;
}

// Document k of n refuses its backup, while its copy is written (a folder stands where it goes)
// or when it takes the backup's name (another program holds the earlier backup): the ones before
// it are changed; it and every later one keep every byte, and so do their earlier backups.
TEST(CliPool, AFailedBackupLeavesEveryLaterDocumentUntouched) {
  constexpr std::size_t kCount = 10;
  for (const bool whenNamed : {false, true}) {
    for (const std::size_t refused : {std::size_t{0}, std::size_t{4}, kCount - 1}) {
      SCOPED_TRACE(std::to_string(refused) + (whenNamed ? ", earlier backup held open" : ", folder in the way"));
      const TempDir dir;
      std::vector<std::string> names;
      std::vector<std::vector<std::uint8_t>> originals;
      for (std::size_t i = 0; i < kCount; ++i) {
        names.push_back(std::to_string(i) + "-" + kReadable[i % kReadable.size()]);
        originals.push_back(ReadBytes(dir.Copy(DataFile(kReadable[i % kReadable.size()]), names.back())));
        if (i >= refused) WriteBytes(dir.Path() / (names[i] + ".bak"), {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
      }
      const fs::path refusedBackup = dir.Path() / (names[refused] + ".bak");
      std::optional<LockHolder> holder;
      if (whenNamed) {
        holder.emplace(refusedBackup, true);
        ASSERT_TRUE(holder->Holding());
      } else {
        fs::remove(refusedBackup);
        fs::create_directory(refusedBackup);
      }

      const CliResult result = RunCli(Concat({"set", "--backup", "--author", "B"}, names), dir.Path(), Workers(16));

      std::string expected;
      for (std::size_t i = 0; i < kCount; ++i) {
        expected += (i < refused ? "changed: " : i == refused ? "backup error: " : "not changed: ") + names[i] + "\n";
      }
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.out, expected);
      const std::string reason = whenNamed ? "its earlier backup" : "a folder stands where its backup goes";
      EXPECT_EQ(result.err.rfind("kestrelpad-cli: " + names[refused] + ": " + reason, 0), 0U) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
      for (std::size_t i = 0; i < kCount; ++i) {
        const fs::path file = dir.Path() / names[i];
        const fs::path backup = dir.Path() / (names[i] + ".bak");
        if (i < refused) {
          EXPECT_NE(ReadBytes(file), originals[i]) << file;
          EXPECT_EQ(ReadBytes(backup), originals[i]) << backup;
        } else {
          EXPECT_EQ(ReadBytes(file), originals[i]) << file;
          if (i != refused || whenNamed) {
            EXPECT_EQ(ReadBytes(backup), (std::vector<std::uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'})) << backup;
          }
        }
      }
      // Each document and one backup beside it: a copy never put in place left nothing.
      EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2 * static_cast<long>(kCount));
    }
  }
}

TEST(CliPool, ASecondIdenticalChangeSaysTheDocumentsAreAlreadySo) {
  const TempDir dir;
  const std::vector<std::string> names = {"a.doc", "b.docx", "c.doc", "d.docx"};
  for (std::size_t i = 0; i < names.size(); ++i) dir.Copy(DataFile(kReadable[i]), names[i]);
  const std::vector<std::string> words = Concat({"set", "--title", "同じ題名", "--company", "Norvale"}, names);
  ASSERT_EQ(RunCli(words, dir.Path()).exitCode, 0);
  std::vector<std::vector<std::uint8_t>> changed;
  for (const std::string& name : names) changed.push_back(ReadBytes(dir.Path() / name));

  const CliResult again = RunCli(words, dir.Path());

  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.err, "");
  std::string expected;
  for (const std::string& name : names) expected += "already so: " + name + "\n";
  EXPECT_EQ(again.out, expected);
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadBytes(dir.Path() / names[i]), changed[i]) << names[i];
}

TEST(CliPool, AWorkerCountThatIsNoNumberIsAUsageError) {
  const TempDir dir;
  const fs::path file = dir.Copy(DataFile("lo-ascii-full.docx"), "a.docx");
  const std::vector<std::uint8_t> before = ReadBytes(file);
  for (const char* setting : {"0", "65", "many", "''"}) {
    SCOPED_TRACE(setting);
    const CliResult result =
        RunCli({"set", "--title", "T", "a.docx"}, dir.Path(), "KESTRELPAD_CLI_WORKERS=" + std::string(setting));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("KESTRELPAD_CLI_WORKERS takes a whole number from 1 to 64"), std::string::npos)
        << result.err;
  }
  EXPECT_EQ(ReadBytes(file), before);
}

}  // namespace
}  // namespace kestrel::test
