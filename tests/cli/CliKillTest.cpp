// The companion killed at spread-out moments of a change, as root and as an ordinary user: every
// document afterwards reads as wholly old or wholly new, and once the next run of the program has
// started, a read-only document is read-only again and nothing of ours is left beside it (a kill
// may hit the instant a binary document's bit is off, or a rewritten package's new file has its
// name before the rename: the journal of leftovers repairs both). Not timed: the moments are
// spread over what one whole change took here.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <thread>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/FileState.h"
#include "reading/DocumentReading.h"
#include "tests/support/Oracles.h"
#include "tests/support/OrdinaryUser.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
// What the program shows of either kind of document, its custom and other properties too.
struct Rows {
  reading::PropertyTexts texts;
  std::vector<catalogue::OtherProperty> others;
  friend bool operator==(const Rows&, const Rows&) = default;
};

// nullopt when it cannot be read.
std::optional<Rows> ReadRows(const fs::path& document) {
  ooxml::PackageProperties packages;
  const Result<reading::DocumentReading> reading = reading::ReadDocument(packages, document.string(), true);
  if (!reading || !reading->rows || !reading->others) return std::nullopt;
  return Rows{*reading->rows, *reading->others};
}

const std::vector<std::string> kChange = {"set",          "--title",  "中断されても壊れない題名", "--company",
                                          "株式会社テスト", "--saved",  "2024/02/03 4:05",         "--editing-minutes",
                                          "77",           "--manager", "管理者〜テスト", "--custom",
                                          "案件=中断されても壊れない"};

// Who runs the companion, and where its journal of leftovers lives.
struct Runner {
  bool ordinaryUser = false;
  fs::path stateFolder;
};

pid_t StartCli(const Runner& runner, const std::vector<std::string>& arguments) {
  std::cout.flush();  // the child would write out what is buffered again
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::string> words{KESTREL_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // Quiet: the outcome is read from the document, not from the output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) _exit(3);
    setenv("TZ", "Asia/Tokyo", 1);
    setenv("XDG_STATE_HOME", runner.stateFolder.c_str(), 1);
    if (runner.ordinaryUser && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(OrdinaryGroupId()) != 0 || setuid(OrdinaryUserId()) != 0)) {
      _exit(126);
    }
    execv(KESTREL_CLI, argv.data());
    _exit(127);
  }
  return child;
}

std::vector<std::string> ChangeOf(const fs::path& document) {
  std::vector<std::string> arguments = kChange;
  arguments.push_back(document.string());
  return arguments;
}

// Runs the change to its end; how long it took.
std::chrono::microseconds WholeChange(const Runner& runner, const fs::path& document) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = StartCli(runner, ChangeOf(document));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the whole change fails: " << status;
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

// The next start of the program, which repairs what a killed run left.
void StartAgain(const Runner& runner) {
  const pid_t child = StartCli(runner, {"--version"});
  waitpid(child, nullptr, 0);
}

void KillRepeatedly(const fs::path& source, bool readOnly, bool ordinaryUser, int runs) {
  const std::string name = source.filename().string();
  const char* who = ordinaryUser ? " as an ordinary user" : " as root";
  SCOPED_TRACE(name + (readOnly ? " (read-only)" : "") + (geteuid() == 0 ? who : ""));
  const TempDir dir;
  const Runner runner{ordinaryUser, dir.Path() / "state"};
  const std::string extension = source.extension().string();
  const fs::path original = dir.Copy(source, "original" + extension);
  fs::permissions(original, fs::perms::owner_write, fs::perm_options::add);
  const std::optional<Rows> oldRows = ReadRows(original);
  const fs::path done = dir.Copy(original, "done" + extension);
  fs::create_directory(runner.stateFolder);
  if (ordinaryUser) GiveToOrdinaryUser(dir.Path());
  const auto whole = WholeChange(runner, done);
  const std::optional<Rows> newRows = ReadRows(done);
  ASSERT_TRUE(oldRows && newRows);
  ASSERT_NE(oldRows, newRows);

  const fs::path work = dir.Path() / "work";
  fs::create_directory(work);
  if (ordinaryUser) GiveToOrdinaryUser(work);
  const fs::path document = work / ("document" + extension);
  std::mt19937 random(20261207);
  std::uniform_int_distribution<std::int64_t> moment(0, whole.count() * 3 / 2);
  int old = 0;
  int changed = 0;
  int leftovers = 0;
  int writable = 0;
  for (int run = 0; run < runs; ++run) {
    fs::remove(document);
    fs::copy_file(original, document);
    if (ordinaryUser) GiveToOrdinaryUser(document);
    if (readOnly) {
      ASSERT_TRUE(kestrel::fs::SetFileAttributes(document.string(), kestrel::fs::kAttributeReadOnly));
    }
    const pid_t child = StartCli(runner, ChangeOf(document));
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const auto killed = kestrel::fs::ReadFileRecord(document.string());
    ASSERT_TRUE(killed);
    writable += readOnly && (killed->attributes & kestrel::fs::kAttributeReadOnly) == 0 ? 1 : 0;
    leftovers += static_cast<int>(std::distance(fs::directory_iterator(work), fs::directory_iterator())) - 1;
    StartAgain(runner);

    const std::optional<Rows> rows = ReadRows(document);
    ASSERT_TRUE(rows == oldRows || rows == newRows) << "a mix of old and new after run " << run;
    (rows == oldRows ? old : changed) += 1;
    const auto record = kestrel::fs::ReadFileRecord(document.string());
    ASSERT_TRUE(record);
    ASSERT_EQ((record->attributes & kestrel::fs::kAttributeReadOnly) != 0, readOnly) << "run " << run;
    for (const auto& entry : fs::directory_iterator(work)) {
      ASSERT_EQ(entry.path(), document) << "left beside it after the next start, run " << run;
    }
    const fs::path journal = runner.stateFolder / "kestrelpad" / "journal";
    ASSERT_TRUE(!fs::exists(journal) || fs::is_empty(journal)) << "a dead run's journal stays, run " << run;
    if ((extension == ".doc" || extension == ".xls") && run % 40 == 0 && OlefilePython()) {
      ASSERT_TRUE(TakeSnapshot(document)) << "olefile cannot open the document after run " << run;
    }
  }
  std::cout << "[          ] " << name << (readOnly ? " read-only" : "") << (geteuid() == 0 ? who : "") << ": " << old
            << " old, " << changed << " new of " << runs << "; the kill left " << leftovers << " files beside it and "
            << writable << " times the document writable, all repaired (a whole change took " << whole.count() << " us)\n";
}

TEST(CliKillTest, EveryStoppedChangeLeavesTheOldDocumentOrTheNewOne) {
  std::vector<fs::path> documents;
  for (const char* name : {"lo-ja-full.doc", "poi-large-cp932.doc", "lo-large-image.doc", "lo-ja-full.docx",
                           "lo-large-image.docx", "pandoc-ja.docx", "lo-ja-full.odt"}) {
    documents.push_back(DataFile(name));
  }
  if (const auto office = OfficeCorpusDir()) {
    documents.push_back(*office / "docs" / "finance.xls");
    documents.push_back(*office / "docs" / "AverageTaxRates.xlsx");
    // No extended part: the change adds it, with its relationship and content type.
    documents.push_back(*office / "docs" / "xlsx-jdbc.xlsx");
  } else {
    std::cout << "[          ] ../shared/corpus-office is absent: no workbook is killed\n";
  }
  for (const fs::path& document : documents) {
    KillRepeatedly(document, false, false, 40);
    KillRepeatedly(document, true, false, 20);
    if (geteuid() == 0) {  // otherwise the runs above were an ordinary user's already
      KillRepeatedly(document, false, true, 20);
      KillRepeatedly(document, true, true, 20);
    }
  }
}

}  // namespace
}  // namespace kestrel::test
