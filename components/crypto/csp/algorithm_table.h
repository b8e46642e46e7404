// The CSP's algorithm table, read from its data file qmcsp.dat: what the token offers, as the
// provider reports it to CryptGetProvParam. One algorithm a line, seven fields split by "|":
//   id | default bits | min bits | max bits | protocols | name | long name
// Numbers are decimal or 0x-hexadecimal; ";" starts a comment line; blanks around fields go.
#ifndef QM_COMPONENTS_CRYPTO_CSP_ALGORITHM_TABLE_H_
#define QM_COMPONENTS_CRYPTO_CSP_ALGORITHM_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// The names fill the fixed fields of PROV_ENUMALGS_EX (20 and 40 characters with the NUL).
constexpr size_t kAlgorithmNameMax = 19;
constexpr size_t kAlgorithmLongNameMax = 39;
constexpr size_t kAlgorithmTableMax = 64;

struct AlgorithmEntry {
  uint32_t id = 0;  // an ALG_ID
  uint32_t default_bits = 0;
  uint32_t min_bits = 0;
  uint32_t max_bits = 0;
  uint32_t protocols = 0;
  std::string name;
  std::string long_name;
};

// The whole table, or false (and |out| untouched) when any line is malformed, an id repeats,
// min <= default <= max does not hold, a name does not fit, or there is no line at all.
bool ParseAlgorithmTable(const std::string& text, std::vector<AlgorithmEntry>* out);

}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_CSP_ALGORITHM_TABLE_H_
