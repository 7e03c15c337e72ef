// Circuit-simulator models of a line: the RLGC matrix file of the W-element kind and an ngspice
// coupled-line (CPL) model.
#pragma once

#include <string>
#include <vector>

#include "lines/options.hpp"
#include "lines/parameters.hpp"

namespace ostrel::lines {

/// Name of the subcircuit of the ngspice model: `X1 in1 .. inm out1 .. outm ref ostrel_line`.
inline constexpr const char* cpl_subcircuit = "ostrel_line";

/// The frequency dependence that a lossy sweep (--frequencies) gives the RLGC file.
struct RlgcLoss {
  Matrix r0;  ///< ohm/m: the resistance at DC
  Matrix rs;  ///< ohm/(m sqrt(Hz)): the skin-effect coefficient, R = Rs sqrt(f)
  Matrix gd;  ///< S/(m Hz): G(f)/f at the reference frequency
  Matrix c;   ///< F/m: the capacitance at the reference frequency
  std::vector<std::string> notes;  ///< comment lines: what the file's form leaves out
};

/// The RLGC file of the W element: comment lines led by '*', the number of conductors, then
/// the matrices L0 (H/m), C0 (F/m), R0 (ohm/m), G0 (S/m), Rs (ohm/(m sqrt(Hz))) and Gd
/// (S/(m Hz)), each as its lower triangle row by row (11; 21 22; 31 32 33 ...). Conductors are
/// perfect (R0 = Rs = 0), the dielectric loss is Gd = G/f (a constant loss tangent), G0 = 0. The
/// length is the W element's own (a comment shows the instance line for o.length). With `loss`
/// the file has its R0, Rs, Gd and C0 and its notes instead. O(m^2).
std::string rlgc_file(const LineParameters& p, const Options& o, const std::string& title,
                      const RlgcLoss* loss = nullptr);

/// The ngspice model: a subcircuit `ostrel_line` with the pins in1..inm, out1..outm and the
/// reference, holding one CPL element and its model with R, L, G, C as upper triangles row by
/// row (11 12 .. 1m 22 .. mm, the order ngspice reads) and length = o.length in metres. G is
/// the conductance at o.frequency (CPL has no frequency dependence). With `r` the model has that
/// resistance and says that R, L, G and C are those at `at` Hz. O(m^2).
std::string cpl_model(const LineParameters& p, const Options& o, const std::string& title,
                      const Matrix* r = nullptr, double at = 0);

}  // namespace ostrel::lines
