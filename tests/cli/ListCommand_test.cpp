// The list's texts: rows as the scan leaves them (titles already UTF-8) come out unchanged, as
// a table lined up by characters and as escaped JSON.
#include <gtest/gtest.h>

#include "Commands.h"

namespace zub::cli {
namespace {

TEST(ListRows, ShowTheScansUtf8TitlesAsTheyAreAndEscapeJson) {
  TSectInfo program;
  program.Section = 2;
  program.SubSection = 3;
  program.Kind = skProgram;
  program.Title = "Chess";
  program.Format = 0x20010000;
  program.Size = 710;
  program.Compression = 1;
  program.UnpackedSize = 1000;
  program.MaxSize = 65535;
  TSectInfo ringer;
  ringer.Section = 17;
  ringer.SubSection = 2;
  ringer.Kind = skData;
  // What the scan makes of a ringer's UTF-16 name: UTF-8 ("Ме").
  ringer.Title = "ringer: \xD0\x9C\xD0\xB5 \"1\"\\\x01";
  ringer.Size = 4000;
  ringer.MaxSize = 100;

  const std::vector<TListRow> rows = {ListRow(program), ListRow(ringer),
                                      ListRow(TSectInfo{}, "Error getting section 0-0 size")};
  EXPECT_EQ(rows[0].Format, "UFIF 2.1");
  EXPECT_EQ(rows[0].Lzo, "LZO(29.0%)");
  EXPECT_EQ(rows[1].Format, "");  // only programs show a firmware label
  EXPECT_EQ(rows[1].Title, ringer.Title);
  EXPECT_EQ(rows[2].Kind, "error");

  EXPECT_EQ(ListJson(rows),
            "[\n"
            " {\"section\":\"2-3\",\"kind\":\"program\",\"title\":\"Chess\",\"size\":710,"
            "\"capacity\":65535,\"format\":\"UFIF 2.1\",\"lzo\":\"LZO(29.0%)\"},\n"
            " {\"section\":\"17-2\",\"kind\":\"data\",\"title\":\"ringer: "
            "\xD0\x9C\xD0\xB5 \\\"1\\\"\\\\\\u0001\",\"size\":4000,\"capacity\":100,"
            "\"format\":null,\"lzo\":null},\n"
            " {\"section\":\"0-0\",\"kind\":\"error\",\"title\":\"\",\"size\":0,"
            "\"capacity\":0,\"format\":null,\"lzo\":null,"
            "\"error\":\"Error getting section 0-0 size\"}\n"
            "]\n");
  EXPECT_EQ(ListJson({}), "[]\n");

  // The table lines its columns up by characters, not bytes.
  const std::string text = ListText({rows[0], rows[1]});
  const auto line = [&](int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
  };
  EXPECT_EQ(line(0).find("SIZE") + 4, line(1).find("710") + 3);
  EXPECT_EQ(line(1).find("710") + 3, line(2).find("4000") + 4 - 2);  // "Ме" is 2 bytes more
}

}  // namespace
}  // namespace zub::cli
