// The telephone simulator, each test with a telephone of its own: the built library copied
// into a fresh folder beside the gbp-sim.ini the test writes, loaded through the real loader.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#endif

#include "core/device/DeviceTestSupport.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using test::Pattern;
using test::TSimPhone;
using TBytes = std::vector<unsigned char>;

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(phone.Load()); }

  const test::TGbpEntries& api() const { return phone.Api(); }
  std::int32_t Open() { return api().Init(1); }
  std::int32_t Write(int s, int ss, const TBytes& bytes) {
    return api().Write(static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(ss), bytes.data(),
                       static_cast<std::uint32_t>(bytes.size()));
  }
  std::int32_t Size(int s, int ss) {
    return api().Size(static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(ss));
  }
  // Reads into a buffer of `length` bytes; the bytes delivered land in `out`.
  std::int32_t Read(int s, int ss, std::uint32_t length, TBytes* out = nullptr) {
    TBytes buffer(length, 0xEE);
    const std::int32_t n = api().Read(static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(ss),
                                      buffer.data(), length);
    if (out) out->assign(buffer.begin(), buffer.begin() + std::max(n, 0));
    return n;
  }
  std::int32_t Clear(int s, int ss) {
    return api().Clear(static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(ss));
  }

  TSimPhone phone;
};

// The file is read again at every opening, so one telephone walks through all rows.
TEST_F(SimulatorTest, OpeningFollowsTheLinkSettings) {
  struct Row {
    const char* ini;
    int port;
    std::int32_t expected;
  };
  const Row rows[] = {
      {"", 1, 0},
      {"", 2, -2},
      {"[Link]\nPorts=1,3\n", 3, 0},
      {"[Link]\nPorts=1,3\n", 2, -2},
      {"[Link]\r\nPorts=2 4  ; two cables\r\n", 4, 0},
      {"[Link]\nPorts=2 4\n", 1, -2},
      {"[link]\nports = 3\n", 3, 0},
      {"[Link]\nPorts=x\n", 1, 0},
      {"[Link]\nPorts=x\n", 2, -2},
      {"[Link]\nAnswer=0 ; unplugged\n", 1, -3},
      {"[Link]\nAnswer=1\n", 1, 0},
      {"[Link]\nPorts=2\nAnswer=0\n", 1, -2},
      {"[Link]\nInitResult=-7\n", 1, -7},
      {"[Link]\nInitResult=5 ; unknown\n", 1, 5},
      {"[Link]\nInitResult=-153\n", 1, -153},
      {"[Link]\nInitResult=\n", 1, 0},
      {"[Link]\nInitResult=junk\n", 1, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.ini) + " port " + std::to_string(r.port));
    phone.WriteIni(r.ini);
    EXPECT_EQ(api().Init(static_cast<std::uint8_t>(r.port)), r.expected);
    // Only a successful opening leaves the port open.
    EXPECT_EQ(Size(2, 1), r.expected == 0 ? gbp::kNoSection : -4);
    EXPECT_EQ(api().End(), 0);
  }
}

TEST_F(SimulatorTest, ClosedTelephoneRefusesEverything) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(api().End(), 0);
    EXPECT_EQ(Size(2, 1), -4);
    EXPECT_EQ(Read(2, 1, 16), -4);
    EXPECT_EQ(Write(2, 1, Pattern(4)), -4);
    EXPECT_EQ(Clear(2, 1), -4);
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Open(), -1);
    EXPECT_EQ(Size(2, 1), gbp::kNoSection);  // the first opening still holds
    EXPECT_EQ(api().End(), 0);
  }
  EXPECT_FALSE(fs::exists(phone.Dir() / "phone"));
}

TEST_F(SimulatorTest, SectionsAreCreatedSizedReplacedAndCleared) {
  ASSERT_FALSE(fs::exists(phone.Dir() / "phone"));
  ASSERT_EQ(Open(), 0);
  const TBytes first = Pattern(300);
  EXPECT_EQ(Write(2, 18, first), 300);
  EXPECT_EQ(phone.SectionBytes(2, 18), first);
  EXPECT_EQ(Size(2, 18), 300);
  TBytes got;
  EXPECT_EQ(Read(2, 18, 128, &got), 128);
  EXPECT_EQ(got, TBytes(first.begin(), first.begin() + 128));
  EXPECT_EQ(Read(2, 18, 1000, &got), 300);
  EXPECT_EQ(got, first);

  const TBytes second = Pattern(10, 7);
  EXPECT_EQ(Write(2, 18, second), 10);
  EXPECT_EQ(Size(2, 18), 10);
  EXPECT_EQ(phone.SectionBytes(2, 18), second);
  EXPECT_EQ(phone.FolderEntries(), (std::vector<std::string>{"2-18.bin"}));

  EXPECT_EQ(Clear(2, 18), 0);
  EXPECT_FALSE(fs::exists(phone.SectionFile(2, 18)));
  EXPECT_EQ(Size(2, 18), gbp::kNoSection);
  EXPECT_EQ(Read(2, 18, 16), gbp::kNoSection);
  EXPECT_EQ(Clear(2, 18), 0);
}

// The telephone takes stock of its files when the connection opens, as it reads its settings:
// a file changed behind an open connection counts from the next opening.
TEST_F(SimulatorTest, FilesChangedBehindTheConnectionCountFromTheNextOpening) {
  phone.PutSection(2, 5, Pattern(40));
  ASSERT_EQ(Open(), 0);
  phone.PutSection(2, 6, Pattern(20));
  phone.PutSection(2, 5, Pattern(70));
  fs::create_directories(phone.Dir() / "phone" / "2-8.bin");  // not a section
  EXPECT_EQ(Size(2, 6), gbp::kNoSection);
  EXPECT_EQ(Size(2, 5), 40);
  EXPECT_EQ(Size(2, 8), gbp::kNoSection);
  api().End();
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Size(2, 6), 20);
  EXPECT_EQ(Size(2, 5), 70);
  TBytes got;
  EXPECT_EQ(Read(2, 5, 100, &got), 70);
  EXPECT_EQ(got, Pattern(70));
  EXPECT_EQ(Size(2, 8), gbp::kNoSection);
  EXPECT_EQ(Clear(2, 8), -5);
}

TEST_F(SimulatorTest, MemoryFolderIsRelativeToTheSettingsFile) {
  phone.WriteIni("[Memory]\nFolder=store ; the memory\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(17, 19, Pattern(5)), 5);
  EXPECT_EQ(phone.SectionBytes(17, 19, "store"), Pattern(5));
  EXPECT_FALSE(fs::exists(phone.Dir() / "phone"));
  api().End();

  const fs::path absolute = phone.Dir() / "elsewhere" / "deep";
  phone.WriteIni("[Memory]\nFolder=" + absolute.string() + "\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(3, 4, Pattern(6)), 6);
  EXPECT_TRUE(fs::exists(absolute / "3-4.bin"));
  EXPECT_EQ(Size(17, 19), gbp::kNoSection);  // the other folder is another memory
}

TEST_F(SimulatorTest, FullMemoryStoresNothing) {
  phone.WriteIni("[Memory]\nCapacity=100\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(2, 1, Pattern(60)), 60);
  EXPECT_EQ(Write(2, 2, Pattern(50)), -6);
  EXPECT_EQ(Size(2, 2), gbp::kNoSection);
  // Replacing a section frees its old bytes first.
  EXPECT_EQ(Write(2, 1, Pattern(100, 3)), 100);
  EXPECT_EQ(Write(2, 2, Pattern(1)), -6);
  EXPECT_EQ(Write(2, 1, Pattern(101)), -6);
  EXPECT_EQ(phone.SectionBytes(2, 1), Pattern(100, 3));
  EXPECT_EQ(Clear(2, 1), 0);
  EXPECT_EQ(Write(2, 2, Pattern(100)), 100);
  EXPECT_EQ(phone.FolderEntries(), (std::vector<std::string>{"2-2.bin"}));
}

TEST_F(SimulatorTest, FaultsHitOnlyTheirSections) {
  phone.WriteIni(
      "[Faults]\n"
      "ReadError=2-5:-10, 3-1:-12 ; two bad blocks\n"
      "SizeError=2-5:-5 4-4:-20\n"
      "WriteKeep=2-6:3\n"
      "ClearFails=2-7,2-8\n");
  for (int ss : {5, 6, 7, 8, 9}) phone.PutSection(2, ss, Pattern(20, static_cast<unsigned>(ss)));
  ASSERT_EQ(Open(), 0);

  EXPECT_EQ(Read(2, 5, 16), -10);
  EXPECT_EQ(Read(3, 1, 16), -12);  // even where there is no section
  EXPECT_EQ(Read(2, 9, 16), 16);
  EXPECT_EQ(Size(2, 5), -5);
  EXPECT_EQ(Size(4, 4), -20);
  EXPECT_EQ(Size(2, 9), 20);

  EXPECT_EQ(Write(2, 6, Pattern(10)), 10);  // the loss goes unreported
  EXPECT_EQ(Size(2, 6), 3);
  EXPECT_EQ(phone.SectionBytes(2, 6), Pattern(3));

  EXPECT_EQ(Clear(2, 7), 0);
  EXPECT_EQ(phone.SectionBytes(2, 7), Pattern(20, 7));
  EXPECT_EQ(Size(2, 8), 20);
  EXPECT_EQ(Clear(2, 9), 0);
  EXPECT_EQ(Size(2, 9), gbp::kNoSection);
  api().End();

  // A list with a malformed entry plays no faults at all.
  phone.WriteIni("[Faults]\nReadError=2-5:-10, 2-6\nClearFails=2-7 x\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Read(2, 5, 16), 16);
  EXPECT_EQ(Clear(2, 7), 0);
  EXPECT_EQ(Size(2, 7), gbp::kNoSection);
}

TEST_F(SimulatorTest, TransfersOverMaxTransferChangeNothing) {
  phone.WriteIni("[Link]\nMaxTransfer=8\n");
  phone.PutSection(2, 1, Pattern(20));
  phone.PutSection(2, 2, Pattern(5));
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(2, 1, Pattern(9)), -5);
  EXPECT_EQ(phone.SectionBytes(2, 1), Pattern(20));
  EXPECT_EQ(Write(2, 3, Pattern(9)), -5);
  EXPECT_FALSE(fs::exists(phone.SectionFile(2, 3)));
  EXPECT_EQ(Write(2, 3, Pattern(8)), 8);

  TBytes got;
  EXPECT_EQ(Read(2, 1, 9, &got), -5);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(Read(2, 1, 8, &got), 8);
  EXPECT_EQ(got, Pattern(8));
  // A read moves what the section holds, not what the buffer could take.
  EXPECT_EQ(Read(2, 2, 100, &got), 5);
  EXPECT_EQ(Size(2, 1), 20);
}

TEST_F(SimulatorTest, ReplacementIsAtomic) {
  phone.WriteIni("[Memory]\nCapacity=64\n");
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(2, 1, Pattern(40)), 40);
  EXPECT_EQ(Write(2, 1, Pattern(30, 1)), 30);
  EXPECT_EQ(Write(2, 1, Pattern(65)), -6);
  EXPECT_EQ(phone.SectionBytes(2, 1), Pattern(30, 1));

  // The section's place is taken by a folder: the rename fails, the write reports it and the
  // temporary file goes away again.
  fs::create_directories(phone.SectionFile(2, 3) / "inside");
  EXPECT_LT(Write(2, 3, Pattern(10)), 0);
  EXPECT_TRUE(fs::is_directory(phone.SectionFile(2, 3) / "inside"));
  EXPECT_EQ(phone.FolderEntries(), (std::vector<std::string>{"2-1.bin", "2-3.bin"}));
  EXPECT_EQ(phone.SectionBytes(2, 1), Pattern(30, 1));
}

TEST_F(SimulatorTest, ServiceCableLibraryLimitsTransfersTo21504Bytes) {
  TSimPhone cte("cte_gbp.dll", ".cte");
  cte.WriteIni("[Link]\nBaud=0\n");
  ASSERT_TRUE(cte.Load());
  const auto& api = cte.Api();
  const TBytes limit = Pattern(21504), over = Pattern(21505);
  cte.PutSection(2, 3, over);
  ASSERT_EQ(api.Init(1), 0);
  EXPECT_EQ(api.Write(2, 1, limit.data(), 21504), 21504);
  EXPECT_EQ(api.Write(2, 2, over.data(), 21505), -5);
  EXPECT_FALSE(fs::exists(cte.SectionFile(2, 2)));
  TBytes buffer(30000);
  EXPECT_EQ(api.Read(2, 3, buffer.data(), 30000), -5);
  EXPECT_EQ(api.Read(2, 3, buffer.data(), 21504), 21504);
  api.End();

  cte.WriteIni("[Link]\nBaud=0\nMaxTransfer=0\n");
  ASSERT_EQ(api.Init(1), 0);
  EXPECT_EQ(api.Write(2, 2, over.data(), 21505), 21505);

  // The data-cable library has no such limit.
  ASSERT_EQ(Open(), 0);
  EXPECT_EQ(Write(2, 2, over), 21505);
}

TEST_F(SimulatorTest, BaudRateSlowsTransfersByTenBitsAByte) {
  using Clock = std::chrono::steady_clock;
  const auto elapsedMs = [](Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  };
  phone.WriteIni("[Link]\nBaud=9600\n");
  ASSERT_EQ(Open(), 0);
  auto start = Clock::now();
  EXPECT_EQ(Write(2, 1, Pattern(96)), 96);  // 960 bits: 100 ms
  EXPECT_GE(elapsedMs(start), 100);
  start = Clock::now();
  EXPECT_EQ(Read(2, 1, 48), 48);  // 50 ms
  EXPECT_GE(elapsedMs(start), 50);

  // The service cable runs at 19200 bit/s unless told otherwise.
  TSimPhone cte("cte_gbp.dll", ".cte");
  ASSERT_TRUE(cte.Load());
  ASSERT_EQ(cte.Api().Init(1), 0);
  const TBytes data = Pattern(96);
  start = Clock::now();
  EXPECT_EQ(cte.Api().Write(2, 1, data.data(), 96), 96);  // 50 ms
  EXPECT_GE(elapsedMs(start), 50);
}

TEST_F(SimulatorTest, WorksBehindTheComponent) {
  fs::copy_file(fs::path(ZUB_BIN_DIR) / "cte_gbp.dll", phone.Dir() / "cte_gbp.dll");
  phone.WriteIni("[Link]\nBaud=0\n");
  test::TRecordingOwner owner;
  TNVMSection nvm(owner, phone.Dir());
  ASSERT_TRUE(nvm.Loaded());

  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM2);
  EXPECT_FALSE(nvm.InitGBP());
  EXPECT_EQ(
      owner.messages,
      (std::vector<std::pair<std::string, std::string>>{{"ERROR", "GBP Error: Can't open port!"}}));
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM1);
  ASSERT_TRUE(nvm.InitGBP());
  nvm.SetSect(2);
  nvm.SetSSect(18);
  const TBytes data = Pattern(21505);
  EXPECT_EQ(nvm.Write(data.data(), 21505), 21505);
  EXPECT_EQ(nvm.GetSize(), 21505);
  TBytes head(128);
  EXPECT_EQ(nvm.Read(head.data(), 128), 128);
  EXPECT_EQ(head, Pattern(128));
  nvm.EndGBP();

  nvm.SetCTEMode(true);
  ASSERT_TRUE(nvm.Loaded());
  ASSERT_TRUE(nvm.InitGBP());
  EXPECT_EQ(nvm.GetSize(), 21505);  // one telephone, whichever cable
  EXPECT_EQ(nvm.Write(data.data(), 21505), -5);
  EXPECT_EQ(nvm.Clear(), 0);
  EXPECT_EQ(nvm.GetSize(), gbp::kNoSection);
  nvm.EndGBP();
  EXPECT_EQ(owner.messages.size(), 1u);
}

// FailCall: the K-th call of the library's process plays its fault. Each row has a library of
// its own (a fresh copy, loaded anew), so its count starts at 1; the telephone holds 2-5.
TEST(SimulatorFailCallTest, TheKthCallPlaysItsFault) {
#if defined(_WIN32)
  // Built for Windows, the simulator exports the six entry points only, and its "die" ends
  // the process it is in (the host's, under test on Linux).
  GTEST_SKIP() << "the simulator lives through a \"die\" only where it is built for Linux";
#endif
  struct Call {
    char entry;  // I(nit), E(nd), S(ize), R(ead 64 bytes), W(rite 10 bytes), C(lear)
    int ss;      // sub-section of section 2
    std::int32_t expected;
    int lost = 0;  // what ZubSimLastCallLost answers after the call
  };
  struct Row {
    const char* name;
    const char* failCall;
    std::vector<Call> calls;
    std::vector<std::string> after;  // the telephone's files afterwards
  };
  const std::vector<std::string> only25{"2-5.bin"};
  const Row rows[] = {
      {"a code on the opening",
       "1:-3",
       {{'I', 0, -3}, {'S', 5, -4}, {'I', 0, 0}, {'S', 5, 20}},
       only25},
      {"codes before any opening",
       "1:-7 3:-9",
       {{'E', 0, -7}, {'I', 0, 0}, {'S', 5, -9}, {'S', 5, 20}},
       only25},
      {"a code on a write stores nothing",
       "2:-6",
       {{'I', 0, 0}, {'W', 1, -6}, {'S', 1, -153}},
       only25},
      {"a code on a read and on a clear",
       "2:-10,3:-5",
       {{'I', 0, 0}, {'R', 5, -10}, {'C', 5, -5}, {'R', 5, 20}},
       only25},
      {"the count runs on across connections",
       "5:-2",
       {{'I', 0, 0}, {'E', 0, 0}, {'I', 0, 0}, {'E', 0, 0}, {'I', 0, -2}, {'S', 5, -4}},
       only25},
      {"a list of several",
       "2:-20 4:-21, 5:-22",
       {{'I', 0, 0}, {'S', 5, -20}, {'S', 5, 20}, {'S', 5, -21}, {'R', 5, -22}, {'R', 5, 20}},
       only25},
      {"die on a write stores it",
       "2:die",
       {{'I', 0, 0}, {'W', 1, -5, 1}, {'S', 1, 10}},
       {"2-1.bin", "2-5.bin"}},
      {"die on a clear clears", "2:die", {{'I', 0, 0}, {'C', 5, -5, 1}, {'S', 5, -153}}, {}},
      {"die on the opening opens", "1:die", {{'I', 0, -5, 1}, {'S', 5, 20}, {'I', 0, -1}}, only25},
      {"die on a read and on the closing",
       "2:die 3:die",
       {{'I', 0, 0}, {'R', 5, -5, 1}, {'E', 0, -5, 1}, {'S', 5, -4}},
       only25},
      {"a code is no die", "2:-5", {{'I', 0, 0}, {'W', 1, -5, 0}, {'S', 1, -153}}, only25},
      {"a malformed item plays nothing",
       "2:-20 3:x",
       {{'I', 0, 0}, {'S', 5, 20}, {'S', 5, 20}},
       only25},
      {"a code that is no failure", "2:5", {{'I', 0, 0}, {'S', 5, 20}}, only25},
      {"there is no call 0", "0:-5 2:-6", {{'I', 0, 0}, {'S', 5, 20}}, only25},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TSimPhone phone("gbp.dll", "." + std::to_string(++n));
    phone.WriteIni(std::string("[Faults]\nFailCall=") + row.failCall + " ; planned\n");
    phone.PutSection(2, 5, Pattern(20));
    ASSERT_TRUE(phone.Load());
    // A handle of our own on the same file reaches the same library.
    TDeviceLibrary own;
    ASSERT_TRUE(own.Load("gbp.dll", phone.Dir()));
    const auto lost =
        reinterpret_cast<std::int32_t(ZUB_GBP_CALL*)()>(own.Symbol("ZubSimLastCallLost"));
    ASSERT_NE(lost, nullptr);
    const auto& api = phone.Api();
    const TBytes data = Pattern(10, 3);
    TBytes buffer(64);
    int k = 0;
    for (const Call& c : row.calls) {
      SCOPED_TRACE("call " + std::to_string(++k) + " " + c.entry);
      const auto ss = static_cast<std::uint8_t>(c.ss);
      const std::int32_t got = c.entry == 'I'   ? api.Init(1)
                               : c.entry == 'E' ? api.End()
                               : c.entry == 'S' ? api.Size(2, ss)
                               : c.entry == 'R' ? api.Read(2, ss, buffer.data(), 64)
                               : c.entry == 'W' ? api.Write(2, ss, data.data(), 10)
                                                : api.Clear(2, ss);
      EXPECT_EQ(got, c.expected);
      EXPECT_EQ(lost(), c.lost);
    }
    EXPECT_EQ(phone.FolderEntries(), row.after);
    if (std::find(row.after.begin(), row.after.end(), "2-1.bin") != row.after.end()) {
      EXPECT_EQ(phone.SectionBytes(2, 1), data);
    }
  }
}

// The plan is read again at every opening, before the opening is counted.
TEST_F(SimulatorTest, FailCallWrittenAfterTheLoadCountsFromTheNextOpening) {
  EXPECT_EQ(api().End(), 0);  // call 1 reads a file without faults
  phone.WriteIni("[Faults]\nFailCall=2:-3\n");
  EXPECT_EQ(Open(), -3);
  EXPECT_EQ(Open(), 0);
}

#if !defined(_WIN32)
// "kill-tool" kills the process the library is loaded into once the call's work is done.
TEST_F(SimulatorTest, KillToolKillsTheProcessAfterTheWrite) {
  phone.WriteIni("[Faults]\nFailCall=2:kill-tool\n");
  EXPECT_EXIT(
      {
        Open();
        Write(2, 1, Pattern(30));
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(phone.SectionBytes(2, 1), Pattern(30));
}

// "hang": the call sleeps for good and does nothing. A child process makes the call; once it
// sleeps inside it, it is killed.
TEST_F(SimulatorTest, HangNeverReturnsAndDoesNothing) {
  phone.WriteIni("[Faults]\nFailCall=2:hang\n");
  int marks[2];
  ASSERT_EQ(::pipe(marks), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(marks[0]);
    Open();
    if (::write(marks[1], "c", 1) != 1) ::_exit(1);
    Write(2, 1, Pattern(30));
    if (::write(marks[1], "r", 1) != 1) ::_exit(1);
    ::_exit(0);
  }
  ::close(marks[1]);
  char mark = 0;
  ASSERT_EQ(::read(marks[0], &mark, 1), 1);
  EXPECT_EQ(mark, 'c');
  const auto sleeping = [child] {
    std::ifstream wchan("/proc/" + std::to_string(child) + "/wchan");
    std::string where;
    wchan >> where;
    return where.find("nanosleep") != std::string::npos;
  };
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!sleeping() && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(sleeping());
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(::read(marks[0], &mark, 1), 0);  // the call never returned
  ::close(marks[0]);
  EXPECT_FALSE(fs::exists(phone.SectionFile(2, 1)));
}
#endif

}  // namespace
}  // namespace zub
