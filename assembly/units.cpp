#include "assembly/units.hpp"

namespace ostrel {

const char* unit_text(int iunits) {
  return iunits >= 0 && iunits < units_codes ? units_table[iunits].text : nullptr;
}

bool units_fit(const Problem& pb) {
  if (pb.iunits < 0 || pb.iunits >= units_codes) return false;
  const Units& u = units_table[pb.iunits];
  return (pb.iprobl == 0 && u.capacitance) || (pb.iprobl == 1 && u.inductance);
}

bool reports_inverse(const Problem& pb) {
  return pb.iunits == 0 ? pb.iprobl != 0 : pb.iunits >= 4;
}

}  // namespace ostrel
