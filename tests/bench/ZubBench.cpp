// zub-bench: the core's micro-benchmarks and the link-bound commands, with their figures.
#include <string>
#include <vector>

#include "BenchTable.h"

#if defined(__linux__)
#include <sys/prctl.h>
#endif

int main(int argc, char** argv) {
  using namespace zub::bench;
#if defined(__linux__)
  // The simulator models the link by sleeping. Linux lets a sleep run up to 50 us long so that
  // wake-ups can be grouped; that slack belongs to neither the tool nor the link model.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  // The first Full Refresh in a new Wine prefix, pressed 5 s after the window showed.
  const auto FirstRefreshNewPrefix = [](const std::string& how, const std::string& key) {
    return TFigure{
        "first Full Refresh in a new Wine prefix, 5 s after the show, " + how + " [wall]",
        "(for information)", [key](const TResults& r) -> TVerdict {
          const auto it = r.find(key);
          if (it == r.end()) return {"not measured (no Wine or no win32 build)", {}};
          return {FormatSeconds(it->second.Seconds), std::nullopt};
        }};
  };
  const std::vector<TFigure> figures = {
      TimeAtMost("classify one 128-byte head (slowest kind)", "BM_ClassifyHead/", TClock::Cpu, 1e-6,
                 "<= 1 us"),
      TimeAtMost("ConvertToUFIF21, 64 KiB", "BM_ConvertToUFIF21", TClock::Cpu, 200e-6, "<= 200 us"),
      CounterAtMost("BuildLZOImage / bare lzo1x_999_compress, 64 KiB [CPU]",
                    "BM_LzoImageVsBareCompressor", "ratio", 1.05, "<= 1.05", 3),
      {"BuildLZOImage compressed size = bare compressor's", "equal",
       [](const TResults& r) -> TVerdict {
         const auto it = r.find("BM_LzoImageVsBareCompressor");
         if (it == r.end() || !it->second.Counters.contains("same_size"))
           return {"not measured (benchmark not run)", std::nullopt};
         const bool same = it->second.Counters.at("same_size") == 1;
         return {same ? "equal" : "different", same};
       }},
      TimeAtMost("ParseSaveSlots + assemble, 64 KiB of 4-byte items",
                 "BM_ParseAndAssembleSaveSlots", TClock::Cpu, 1e-3, "<= 1 ms"),
      TimeAtMost("catalogue load (RebuildCatalogue), 1,000 entries", "BM_RebuildCatalogue/1000",
                 TClock::Cpu, 20e-3, "<= 20 ms"),
      TimeAtMost("catalogue load (RebuildCatalogue), 65,536 entries", "BM_RebuildCatalogue/65536",
                 TClock::Cpu, 1.0, "<= 1 s"),
      TimeAtMost("DrawCell, the three columns of one row", "BM_DrawCellRow", TClock::Cpu, 1e-6,
                 "<= 1 us"),
      TimeAtMost("history: keep one 64 KiB section (hash, file, index, limits) [wall]",
                 "BM_HistoryKeep64K", TClock::Wall, 5e-3, "<= 5 ms"),
      CounterAtMost("full refresh, demo telephone, 115200 bit/s: time / link model [wall]",
                    "BM_LinkFullRefresh", "ratio", 1.02, "<= 1.02", 3),
      TimeInfo("the same refresh without link delay: the tool and the simulator alone",
               "BM_FullRefreshNoLink", TClock::Cpu),
      CounterAtMost("upload of 34,442 bytes, 115200 bit/s: time / link model [wall]",
                    "BM_LinkUpload34442", "ratio", 1.02, "<= 1.02", 3),
      CounterAtMost("backup of the demo telephone, 115200 bit/s: time / link model [wall]",
                    "BM_LinkBackup", "ratio", 1.02, "<= 1.02", 3),
      TimeInfo("the same backup without link delay: tool, simulator, disk", "BM_BackupNoLink",
               TClock::Wall),
      CounterAtMost("restore of an unchanged backup: writes and erases made", "BM_RestoreUnchanged",
                    "writes_erases", 0, "0", 0),
      {"128-byte read through gbp-host.exe under Wine, warm, minus in-process [wall]", "<= 0.3 ms",
       [](const TResults& r) -> TVerdict {
         const auto host = r.find("BM_HeadReadThroughHost");
         const auto native = r.find("BM_HeadReadInProcess");
         if (host == r.end() || native == r.end())
           return {"not measured (no Wine or no win32 build)", std::nullopt};
         const double overhead = host->second.Seconds - native->second.Seconds;
         return {FormatSeconds(overhead), overhead <= 0.3e-3};
       }},
      CounterAtMost("full refresh, demo telephone, 115200 bit/s, through the host: time / link "
                    "model [wall]",
                    "BM_HostLinkFullRefresh", "ratio", 1.03, "<= 1.03", 3),
      TimeInfo("start of the host, new Wine prefix (cold)", "BM_HostStartColdWine", TClock::Wall),
      TimeInfo("start of the host, Wine running (warm)", "BM_HostStartWarmWine", TClock::Wall),
      FirstRefreshNewPrefix("with the host started at the window's show",
                            "BM_FirstRefreshNewPrefixEarlyStart"),
      FirstRefreshNewPrefix("without it (the host started by the refresh)",
                            "BM_FirstRefreshNewPrefixAtCommand"),
  };
  return RunAndReport(argc, argv, figures);
}
