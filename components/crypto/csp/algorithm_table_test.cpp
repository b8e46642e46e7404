#include "components/crypto/csp/algorithm_table.h"

#include <gtest/gtest.h>

namespace {

TEST(AlgorithmTable, ReadsEveryField) {
  const std::string text =
      "; comment\r\n"
      "\r\n"
      "0x8004 | 160 | 160 | 160 | 0x20 | SHA-1 | Secure Hash Algorithm (SHA-1)\r\n"
      "  0x6609|112|112|112|0|3DES TWO KEY|Two Key Triple DES  \n"
      "41984 | 1024 | 512 | 2048 | 0 | RSA_KEYX | RSA Key Exchange";  // no line end at the end
  std::vector<qm::AlgorithmEntry> table;
  ASSERT_TRUE(qm::ParseAlgorithmTable(text, &table));
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].id, 0x8004u);
  EXPECT_EQ(table[0].protocols, 0x20u);
  EXPECT_EQ(table[0].long_name, "Secure Hash Algorithm (SHA-1)");
  EXPECT_EQ(table[1].name, "3DES TWO KEY");
  EXPECT_EQ(table[1].long_name, "Two Key Triple DES");
  EXPECT_EQ(table[2].id, 0xA400u);
  EXPECT_EQ(table[2].min_bits, 512u);
  EXPECT_EQ(table[2].default_bits, 1024u);
  EXPECT_EQ(table[2].max_bits, 2048u);
}

TEST(AlgorithmTable, RefusesTheWholeTableForOneBadLine) {
  const std::string good = "0x8004|160|160|160|0|SHA-1|SHA-1\n";
  const char* bad_lines[] = {
      "",                                         // no algorithm at all
      "; only a comment\n",
      "0x8003|128|128|128|0|MD5\n",               // six fields
      "0x8003|128|128|128|0|MD5|MD5|x\n",         // eight
      "0x8003|128|128|12x|0|MD5|MD5\n",
      "0x8003|-1|128|128|0|MD5|MD5\n",
      "0x8003|128|128|128|0x100000000|MD5|MD5\n",
      "0|128|128|128|0|MD5|MD5\n",
      "0x8003|128|129|128|0|MD5|MD5\n",           // default below min
      "0x8003|128|128|127|0|MD5|MD5\n",           // default above max
      "0x8003|128|128|128|0||MD5\n",
      "0x8003|128|128|128|0|MD5|\n",
      "0x8003|128|128|128|0|MD5-NAME-TWENTY-CHRS|MD5\n",  // 20 characters
      "0x8003|128|128|128|0|MD5|Forty characters long: one more than fit\n",  // 40
      "0x8003|128|128|128|0|MD\x01|MD5\n",
      "0x8004|160|160|160|0|SHA-1|again\n",       // repeated id
  };
  for (const char* line : bad_lines) {
    std::vector<qm::AlgorithmEntry> table(1);
    const std::string text = std::string(line).empty() || line[0] == ';' ? line : good + line;
    EXPECT_FALSE(qm::ParseAlgorithmTable(text, &table)) << line;
    EXPECT_EQ(table.size(), 1u) << line;
  }
  std::string many;
  for (size_t i = 1; i <= qm::kAlgorithmTableMax + 1; ++i) many += std::to_string(i) + "|1|1|1|0|A|A\n";
  std::vector<qm::AlgorithmEntry> table;
  EXPECT_FALSE(qm::ParseAlgorithmTable(many, &table));
}

}  // namespace
