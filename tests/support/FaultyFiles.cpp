#include "tests/support/FaultyFiles.h"

#include "platform/fs/FileIo.h"

namespace kestrel::test {

struct FaultyFiles::Counter {
  std::size_t failAt = 0;
  std::size_t writes = 0;
  std::vector<Event> log;
};

namespace {

class FaultyFile final : public fs::RandomAccessFile {
 public:
  FaultyFile(std::unique_ptr<fs::RandomAccessFile> inner, std::shared_ptr<FaultyFiles::Counter> counter)
      : inner_(std::move(inner)), counter_(std::move(counter)) {}
  std::uint64_t Size() const override { return inner_->Size(); }
  Outcome ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override { return inner_->ReadAt(offset, buffer, n); }
  Outcome WriteAt(std::uint64_t offset, const void* data, std::size_t n) override {
    ++counter_->writes;
    counter_->log.push_back({false, offset, n});
    if (counter_->failAt != 0 && counter_->writes >= counter_->failAt) {
      return Outcome::Failure(FailureKind::Io, "cannot write: a fault made for the test");
    }
    return inner_->WriteAt(offset, data, n);
  }
  Outcome SetTimes(std::optional<fs::Timestamp> lastAccess, std::optional<fs::Timestamp> lastWrite) override {
    return inner_->SetTimes(lastAccess, lastWrite);
  }
  std::optional<fs::FileIdentity> Identity() const override { return inner_->Identity(); }
  Outcome Sync() override {
    counter_->log.push_back({true, 0, 0});
    return inner_->Sync();
  }

 private:
  std::unique_ptr<fs::RandomAccessFile> inner_;
  std::shared_ptr<FaultyFiles::Counter> counter_;
};

}  // namespace

FaultyFiles::FaultyFiles(std::size_t failAt) : counter_(std::make_shared<Counter>()) {
  counter_->failAt = failAt;
  fs::SetFileOpener([counter = counter_](const std::string& path, fs::OpenMode mode) {
    fs::OpenResult result = fs::OpenPosixFile(path, mode);
    if (result.file) result.file = std::make_unique<FaultyFile>(std::move(result.file), counter);
    return result;
  });
}

FaultyFiles::~FaultyFiles() { fs::SetFileOpener({}); }

std::size_t FaultyFiles::Writes() const { return counter_->writes; }

const std::vector<FaultyFiles::Event>& FaultyFiles::Log() const { return counter_->log; }

std::size_t CommitWrites(const std::vector<FaultyFiles::Event>& log) {
  std::size_t writes = 0;
  std::size_t throughHeader = 0;
  for (const FaultyFiles::Event& event : log) {
    if (event.sync) continue;
    ++writes;
    if (event.offset == 0 && event.size == 512) throughHeader = writes;
  }
  return throughHeader;
}

}  // namespace kestrel::test
