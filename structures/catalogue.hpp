// The named cross-sections of ostrel-lines --structure: their keys with defaults, a sketch,
// the checks of a geometry, its drawing as boundary elements and its closed-form estimate.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "structures/closed_forms.hpp"
#include "structures/outline.hpp"

namespace ostrel::structures {

enum class KeyKind {
  length,  ///< a length with an optional unit, kept in mm
  number,  ///< a plain real (a permittivity, an angle in degrees)
  choice   ///< yes or no, kept as 1 or 0
};

struct Key {
  std::string name;
  std::string fallback;  ///< the default as the user would write it; empty: none (optional key)
  std::string meaning;
  KeyKind kind = KeyKind::length;
  bool unbounded = false;  ///< accepts "inf"
};

/// Key values: lengths in mm, yes/no as 1/0. Optional keys not given are absent.
using Values = std::map<std::string, double>;

/// How finely a structure is drawn: the node count of an element (sides shorter than the
/// features get half) and, for a structure with a finite dielectric or ground, its extent
/// beyond the outermost conductor in units of the structure's scale (see Structure).
struct Resolution {
  int nodes = 16;
  double reach = 16;
};

/// The impedance a target names.
enum class Quantity { z0, zdiff, zodd, zeven, zcm };

struct Structure {
  std::string name, summary, sketch;
  std::string media;  ///< what deps(1..3) hold, for --tan-delta
  std::vector<Key> keys;
  bool pair = false;       ///< two signal conductors: the targets Zdiff, Zodd, Zeven, Zcm
  bool truncated = false;  ///< has a finite extent (reach) whose effect must be checked
  Resolution start;        ///< where the choice of the resolution starts at a 0.1 % tolerance
  double reach_order = 2;  ///< the truncation error falls as reach^-reach_order (at least)
  void (*check)(const Values&) = nullptr;  ///< throws std::invalid_argument saying what is wrong
  Outline (*draw)(const Values&, const Resolution&) = nullptr;
  Estimate (*estimate)(const Values&) = nullptr;
  const char* reach_unit = "";  ///< the length that the extent (reach) counts
};

/// Every structure, in the order of the usage text.
const std::vector<Structure>& catalogue();

/// The structure called `name`; throws std::invalid_argument listing the names otherwise.
const Structure& find_structure(const std::string& name);

/// The key `name` of `s`, or nullptr.
const Key* find_key(const Structure& s, const std::string& name);

/// The values of `s` from its defaults and the assignments (key, text) in order (a later one
/// wins); `where` names each assignment's origin for the messages. Checks the geometry.
/// Throws std::invalid_argument for an unknown key, a value that does not read, or a geometry
/// that s.check rejects.
Values parse_values(const Structure& s,
                    const std::vector<std::pair<std::string, std::string>>& assignments,
                    const std::vector<std::string>& where);

/// The help of one structure: summary, sketch, keys with defaults and meanings, the targets.
std::string structure_help(const Structure& s);

/// The targets of a structure ("Z0" or "Zdiff, Zodd, Zeven, Zcm").
std::string target_names(const Structure& s);

/// The value of `q` in an estimate (0 when the estimate does not have it).
double estimate_of(const Estimate& e, Quantity q);

/// The assignments of the values as a title: "w=0.3 t=0.035 h=0.2 er=4.3" (lengths in mm).
std::string values_text(const Structure& s, const Values& v);

}  // namespace ostrel::structures
