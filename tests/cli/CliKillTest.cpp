// The companion killed at spread-out moments of a change: every document afterwards reads as
// wholly old or wholly new, a read-only document is still read-only, and nothing is left beside it
// (a rewritten package's new file has a name only for the instant before its rename, which a kill
// may hit now and then: such a leftover is counted, and the next change removes it). Not timed: the moments are spread over what
// one whole change took here.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/FileState.h"
#include "reading/DocumentReading.h"
#include "tests/support/Oracles.h"
#include "tests/support/TestSupport.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::array<std::string, catalogue::kRowCount>;

// What the program shows of either kind of document; nullopt when it cannot be read.
std::optional<Rows> ReadRows(const fs::path& document) {
  ooxml::PackageProperties packages;
  return reading::ReadDocumentRows(packages, document.string());
}

const std::vector<std::string> kChange = {"set",          "--title",  "中断されても壊れない題名", "--company",
                                          "株式会社テスト", "--saved",  "2024/02/03 4:05",         "--editing-minutes",
                                          "77",           "--manager", "管理者〜テスト"};

pid_t StartCli(const fs::path& document) {
  std::cout.flush();  // the child would write out what is buffered again
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::string> words{KESTREL_CLI};
    words.insert(words.end(), kChange.begin(), kChange.end());
    words.push_back(document.string());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // Quiet: the outcome is read from the document, not from the output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr) _exit(3);
    setenv("TZ", "Asia/Tokyo", 1);
    execv(KESTREL_CLI, argv.data());
    _exit(127);
  }
  return child;
}

// Runs the change to its end; how long it took.
std::chrono::microseconds WholeChange(const fs::path& document) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = StartCli(document);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the whole change fails: " << status;
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

void KillRepeatedly(const std::string& name, bool readOnly, int runs) {
  SCOPED_TRACE(name + (readOnly ? " (read-only)" : ""));
  const TempDir dir;
  const std::string extension = fs::path(name).extension().string();
  const fs::path original = dir.Copy(DataFile(name), "original" + extension);
  const std::optional<Rows> oldRows = ReadRows(original);
  const fs::path done = dir.Copy(original, "done" + extension);
  const auto whole = WholeChange(done);
  const std::optional<Rows> newRows = ReadRows(done);
  ASSERT_TRUE(oldRows && newRows);
  ASSERT_NE(oldRows, newRows);

  const fs::path work = dir.Path() / "work";
  fs::create_directory(work);
  const fs::path document = work / ("document" + extension);
  std::mt19937 random(20261207);
  std::uniform_int_distribution<std::int64_t> moment(0, whole.count() * 3 / 2);
  int old = 0;
  int changed = 0;
  int leftovers = 0;
  for (int run = 0; run < runs; ++run) {
    fs::remove(document);
    fs::copy_file(original, document);
    if (readOnly) {
      ASSERT_TRUE(kestrel::fs::SetFileAttributes(document.string(), kestrel::fs::kAttributeReadOnly));
    }
    const pid_t child = StartCli(document);
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const std::optional<Rows> rows = ReadRows(document);
    ASSERT_TRUE(rows == oldRows || rows == newRows) << "a mix of old and new after run " << run;
    (rows == oldRows ? old : changed) += 1;
    const auto record = kestrel::fs::ReadFileRecord(document.string());
    ASSERT_TRUE(record);
    EXPECT_EQ((record->attributes & kestrel::fs::kAttributeReadOnly) != 0, readOnly) << "run " << run;
    // A kill between naming the new file and its rename leaves it; the next change removes it.
    int besides = 0;
    for (const auto& entry : fs::directory_iterator(work)) {
      if (entry.path() == document) continue;
      ASSERT_TRUE(entry.path().filename().string().starts_with("KPZ")) << entry.path() << " left beside it, run " << run;
      ++besides;
    }
    ASSERT_LE(besides, 1) << "an earlier run's leftover was not removed, run " << run;
    leftovers += besides;
    if (extension == ".doc" && run % 40 == 0 && OlefilePython()) {
      ASSERT_TRUE(TakeSnapshot(document)) << "olefile cannot open the document after run " << run;
    }
  }
  fs::remove(document);
  fs::copy_file(original, document);
  WholeChange(document);
  EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 1) << "a leftover outlived a whole change";
  std::cout << "[          ] " << name << (readOnly ? " read-only" : "") << ": " << old << " old, " << changed
            << " new of " << runs << ", " << leftovers << " times a named new file was left (a whole change took "
            << whole.count() << " us)\n";
  // Kills land on system calls, and the rename is a slow one: now and then one lands in the window.
  EXPECT_LE(leftovers, runs / 10) << "the window in which a kill leaves the new file named is not narrow";
}

TEST(CliKillTest, EveryStoppedChangeLeavesTheOldDocumentOrTheNewOne) {
  for (const char* name : {"lo-ja-full.doc", "poi-large-cp932.doc", "lo-large-image.doc", "lo-ja-full.docx",
                           "lo-large-image.docx", "pandoc-ja.docx"}) {
    KillRepeatedly(name, false, 100);
    KillRepeatedly(name, true, 40);
  }
}

}  // namespace
}  // namespace kestrel::test
