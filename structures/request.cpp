#include "structures/request.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "lines/options.hpp"
#include "structures/lengths.hpp"

namespace ostrel::structures {

namespace {

[[noreturn]] void bad(const std::string& why) {
  throw std::invalid_argument(why);
}

std::string trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r") + 1 - a);
}

struct Setting {
  std::string key, value, where;
};

std::vector<Setting> read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec) || !in.is_open())
    bad("cannot open the structure file '" + name + "'");
  std::vector<Setting> out;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const std::string where = name + ", line " + std::to_string(number);
    const std::string text = trim(line);
    if (text.empty() || text[0] == '#') continue;
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) bad(where + ": '" + text + "' is not KEY=VALUE");
    out.push_back({trim(text.substr(0, eq)), trim(text.substr(eq + 1)), where});
  }
  if (in.bad()) bad("cannot read the structure file '" + name + "'");
  return out;
}

std::vector<Setting> settings(const lines::Options& o) {
  std::vector<Setting> all;
  if (!o.structure_file.empty()) all = read_file(o.structure_file);
  if (!o.structure.empty()) all.push_back({"structure", o.structure, "--structure"});
  for (const std::string& a : o.assignments) {
    const auto eq = a.find('=');
    all.push_back({a.substr(0, eq), a.substr(eq + 1), "argument '" + a + "'"});
  }
  if (!o.target.empty()) all.push_back({"target", o.target, "--target"});
  if (!o.vary.empty()) all.push_back({"vary", o.vary, "--vary"});
  return all;
}

const Structure& structure_of(const std::vector<Setting>& all, const lines::Options& o) {
  const Setting* named = nullptr;
  for (const Setting& s : all)
    if (s.key == "structure") {
      if (named && named->value != s.value)
        bad(s.where + ": the structure '" + s.value + "' differs from '" + named->value + "' of " +
            named->where);
      named = &s;
    }
  if (!named) bad(o.structure_file + ": no line structure=NAME");
  try {
    return find_structure(named->value);
  } catch (const std::invalid_argument& e) {
    bad(named->where + ": " + e.what());
  }
}

}  // namespace

const Structure& requested_structure(const lines::Options& o) {
  return structure_of(settings(o), o);
}

Request make_request(const lines::Options& o) {
  const std::vector<Setting> all = settings(o);
  Request r;
  r.structure = &structure_of(all, o);
  const Structure& s = *r.structure;
  std::vector<std::pair<std::string, std::string>> keys;
  std::vector<std::string> where;
  std::string target, target_where, vary, vary_where;
  for (const Setting& e : all) {
    if (e.key == "structure") continue;
    if (e.key == "target") {
      target = e.value;
      target_where = e.where;
    } else if (e.key == "vary") {
      vary = e.value;
      vary_where = e.where;
    } else if (e.key == "tolerance") {
      r.tolerance = lines::option_real(e.where + ": tolerance", e.value);
      if (!(r.tolerance > 0 && r.tolerance < 0.1))
        bad(e.where + ": the tolerance must be above 0 and below 0.1 (10 %)");
    } else {
      keys.emplace_back(e.key, e.value);
      where.push_back(e.where);
    }
  }
  if (o.tolerance > 0) r.tolerance = o.tolerance;
  r.values = parse_values(s, keys, where);
  if (target.empty() != vary.empty())
    bad((target.empty() ? vary_where : target_where) + ": target and vary go together");
  if (target.empty()) return r;

  const auto eq = target.find('=');
  const std::string q = target.substr(0, eq);
  const std::pair<const char*, Quantity> names[] = {{"Z0", Quantity::z0},
                                                    {"Zdiff", Quantity::zdiff},
                                                    {"Zodd", Quantity::zodd},
                                                    {"Zeven", Quantity::zeven},
                                                    {"Zcm", Quantity::zcm}};
  bool found = false;
  for (const auto& [name, quantity] : names)
    if (q == name) {
      found = (quantity == Quantity::z0) != s.pair;
      r.quantity = quantity;
    }
  if (eq == std::string::npos || !found)
    bad(target_where + ": '" + target + "' is not a target of " + s.name + " (" + target_names(s) +
        "=OHMS)");
  r.quantity_name = q;
  r.target = lines::option_real(target_where, target.substr(eq + 1));
  if (!(r.target > 0)) bad(target_where + ": the impedance must be positive");
  const Key* k = find_key(s, vary);
  if (!k || k->kind != KeyKind::length)
    bad(vary_where + ": '" + vary + "' is not a length key of " + s.name);
  if (!(r.values.count(vary) && r.values.at(vary) > 0 && std::isfinite(r.values.at(vary))))
    bad(vary_where + ": " + vary + " must have a positive, finite value to start from");
  r.targeted = true;
  r.vary = vary;
  return r;
}

}  // namespace ostrel::structures
