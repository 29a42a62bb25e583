#include "common/line_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/stop_signals.h"

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "line_output_XXXXXX").string();
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~Folder() {
    std::error_code error;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(path_, error);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.insert(entry.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Writes "new C4" and "new C5" over first and second in a child process whose
// hook raises signal_number just before the second rename; returns the
// child's wait status.
int PairReplacedUnderSignal(const std::string& first, const std::string& second, int signal_number) {
  const pid_t pid = fork();
  if (pid == 0) {
    SetTemporaryFilePrefix("quarn");
    RemoveTemporaryFilesOnSignals();
    static int raised = 0;
    raised = signal_number;
    SetGroupReplaceHook([](size_t index) {
      if (index == 1) raise(raised);
    });
    AsideFile one(first);
    AsideFile two(second);
    one.Write(std::string_view("new C4"));
    two.Write(std::string_view("new C5"));
    AsideFile* const pair[] = {&one, &two};
    CommitTogether(pair);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(AsideFile, LongestNameAndTemporaryNames) {
  Folder folder;
  SetTemporaryFilePrefix("gravik");
  const std::string longest = folder.File(std::string(NAME_MAX, 'n'));
  AsideFile file(longest);
  ASSERT_TRUE(file.IsOpen());
  file.Write(std::string_view("tiles"));
  // While it is written, the one file in the folder says whose it is.
  const std::set<std::string> during = folder.Names();
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during.begin()->rfind(".gravik-", 0), 0u) << *during.begin();
  EXPECT_EQ(file.Commit(), std::nullopt);
  EXPECT_EQ(Contents(longest), "tiles");
  EXPECT_EQ(folder.Names(), std::set<std::string>{std::string(NAME_MAX, 'n')});
}

TEST(AsideFile, ReplacedFileKeepsItsPermissionsAndLinksAreReplaced) {
  Folder folder;
  const std::string script = folder.File("run.sh");
  Put(script, "old");
  chmod(script.c_str(), 0755);
  ASSERT_EQ(WriteBinaryFile(script, Bytes("new"), Durability::kSynced), std::nullopt);
  struct stat info {};
  ASSERT_EQ(stat(script.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);
  EXPECT_EQ(Contents(script), "new");

  const std::string victim = folder.File("victim");
  Put(victim, "precious");
  const std::string link = folder.File("out.txt");
  ASSERT_EQ(symlink("victim", link.c_str()), 0);
  ASSERT_EQ(WriteTextFile(link, {"log"}), std::nullopt);
  EXPECT_EQ(Contents(victim), "precious");
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(Contents(link), "log\n");
}

// A file being replaced is swapped out and removed; a second name of it keeps
// the old contents, and a folder in the target's place is never swapped out.
TEST(AsideFile, ReplacingLeavesOnlyTheNewFileAndNeverTakesAFolder) {
  Folder folder;
  const std::string list = folder.File("music.asm");
  const std::string second_name = folder.File("kept.asm");
  Put(list, "old list");
  ASSERT_EQ(link(list.c_str(), second_name.c_str()), 0);
  ASSERT_EQ(WriteTextFile(list, {"new list"}), std::nullopt);
  EXPECT_EQ(Contents(list), "new list\n");
  EXPECT_EQ(Contents(second_name), "old list");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"kept.asm", "music.asm"}));

  const std::string taken = folder.File("castle.C5");
  ASSERT_EQ(mkdir(taken.c_str(), 0755), 0);
  Put(taken + "/inside", "mine");
  EXPECT_EQ(WriteTextFile(taken, {"bank"}), "Can not write " + taken);
  EXPECT_EQ(Contents(taken + "/inside"), "mine");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"castle.C5", "kept.asm", "music.asm"}));
}

TEST(AsideFile, StopSignalRemovesTheTemporaryFile) {
  Folder folder;
  const pid_t pid = fork();
  if (pid == 0) {
    RemoveTemporaryFilesOnSignals();
    AsideFile file(folder.File("big.asm"));
    file.Write(std::string_view("half written"));
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(folder.Names().empty());
}

TEST(CommitTogether, BothReplacedOrNeither) {
  Folder folder;
  const std::string first = folder.File("castle.C4");
  const std::string second = folder.File("castle.C5");
  Put(first, "old C4");
  {
    // A folder where the second file goes: the first stays as it was.
    fs::create_directory(second);
    AsideFile one(first);
    AsideFile two(second);
    one.Write(std::string_view("new C4"));
    AsideFile* const pair[] = {&one, &two};
    EXPECT_EQ(CommitTogether(pair), "Can not write " + second);  // names the file that failed
    EXPECT_EQ(Contents(first), "old C4");
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"castle.C4", "castle.C5"}));
    fs::remove(second);
  }
  {
    // A pair where neither was there: a failed second removes the new first.
    const std::string third = folder.File("keep.C4");
    fs::create_directory(folder.File("keep.C5"));
    AsideFile one(third);
    AsideFile two(folder.File("keep.C5"));
    AsideFile* const pair[] = {&one, &two};
    EXPECT_EQ(CommitTogether(pair), "Can not write " + folder.File("keep.C5"));
    EXPECT_FALSE(fs::exists(third));
    fs::remove(folder.File("keep.C5"));
  }
  AsideFile one(first);
  AsideFile two(second);
  one.Write(std::string_view("new C4"));
  two.Write(std::string_view("new C5"));
  AsideFile* const pair[] = {&one, &two};
  EXPECT_EQ(CommitTogether(pair), std::nullopt);
  EXPECT_EQ(Contents(first), "new C4");
  EXPECT_EQ(Contents(second), "new C5");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"castle.C4", "castle.C5"}));
}

// Level names: a short one, and one at the length limit (NAME.C4 fits in a
// folder entry, NAME.C4.quarn-old does not).
const std::string kLevelNames[] = {"castle", std::string(245, 'L')};

TEST(CommitTogether, StopBetweenTheRenamesPutsTheFirstBack) {
  for (const std::string& level : kLevelNames) {
    Folder folder;
    const std::string first = folder.File(level + ".C4");
    const std::string second = folder.File(level + ".C5");
    Put(first, "old C4");
    Put(second, "old C5");
    const int status = PairReplacedUnderSignal(first, second, SIGTERM);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(Contents(first), "old C4") << level.size();
    EXPECT_EQ(Contents(second), "old C5") << level.size();
    EXPECT_EQ(folder.Names(), (std::set<std::string>{level + ".C4", level + ".C5"}));
  }
}

TEST(CommitTogether, KillBetweenTheRenamesLeavesTheOldFirstBeside) {
  for (const std::string& level : kLevelNames) {
    Folder folder;
    const std::string first = folder.File(level + ".C4");
    const std::string second = folder.File(level + ".C5");
    Put(first, "old C4");
    Put(second, "old C5");
    const int status = PairReplacedUnderSignal(first, second, SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Contents(first), "new C4");
    EXPECT_EQ(Contents(second), "old C5");
    // Each target's previous file waits under a name of its own (the second
    // was kept just before the kill).
    std::set<std::string> kept;
    for (const std::string& name : folder.Names()) {
      if (name.find("quarn-old") == std::string::npos) continue;
      kept.insert(Contents(folder.File(name)));
      if (level.size() < 240) {
        EXPECT_TRUE(name == level + ".C4.quarn-old" || name == level + ".C5.quarn-old") << name;
      } else {
        EXPECT_EQ(name.rfind(".quarn-old-", 0), 0u) << name;
      }
    }
    EXPECT_EQ(kept, (std::set<std::string>{"old C4", "old C5"})) << level.size();
  }
}

}  // namespace
