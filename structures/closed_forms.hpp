// Closed-form impedances of the named cross-sections: exact where an exact form exists (coax,
// wire over ground, bare twin lead, Cohn's zero-thickness striplines, coplanar waveguide on a
// half-space), otherwise the published approximations that calculators use. They seed the
// impedance targeting with a first value; the solutions decide. Lengths in any one unit.
#pragma once

namespace ostrel::structures {

/// Impedances of a line (ohm) and its effective permittivity; the pair figures are 0 for a
/// single line and z0, eps_eff are 0 for a pair.
struct Estimate {
  double z0 = 0, eps_eff = 0;
  double z_even = 0, z_odd = 0;
};

/// K(k')/K(k) for the complete elliptic integral K of the first kind, given k and its
/// complement k' = sqrt(1 - k^2) (both, so that neither loses digits near 0 or 1). By the
/// arithmetic-geometric mean to rounding; O(log) in the digits.
double elliptic_ratio(double k, double kp);

/// Coaxial line, radii a < b, filled with er: eta0 ln(b/a) / (2 pi sqrt(er)).
Estimate coax_estimate(double a, double b, double er);

/// Wire of radius r, centre at height h > r over a ground plane, in er: eta0 acosh(h/r) /
/// (2 pi sqrt(er)).
Estimate wire_over_ground_estimate(double r, double h, double er);

/// Two wires of radius r, centre spacing s, each in a coat of thickness ins_t and permittivity
/// ins_er, in air: eta0 acosh(s/2r) / (pi sqrt(eps_eff)), exact without a coat; the coat's
/// eps_eff is a share of ins_er by the logarithmic weight of the coat in the gap (an estimate).
Estimate twin_lead_estimate(double r, double s, double ins_t, double ins_er);

/// Microstrip of width w and thickness t on a substrate of height h and permittivity er:
/// Hammerstad and Jensen (1980) with their thickness correction (Z0 within 0.2 %, eps_eff
/// within 0.2 % for zero thickness, 0.01 <= w/h <= 100).
Estimate microstrip_estimate(double w, double t, double h, double er);

/// Microstrip buried under `cover` of the same dielectric: the microstrip's air impedance with
/// eps_eff blended toward er as exp(-2 cover/h) (Bahl's approximation).
Estimate embedded_microstrip_estimate(double w, double t, double h, double cover, double er);

/// Symmetric stripline, strip w x t midway between planes b apart, in er: Cohn's exact form
/// for t = 0, Wheeler's (1978, within 0.5 %) otherwise. `offset` moves the strip's middle up;
/// an offset strip is taken as the parallel of the two symmetric lines of its two sides.
Estimate stripline_estimate(double w, double t, double b, double er, double offset);

/// Edge-coupled stripline pair, gap s: Cohn's exact even and odd forms for t = 0, scaled by
/// the thickness factor of the single stripline otherwise.
Estimate diff_stripline_estimate(double w, double s, double t, double b, double er);

/// Edge-coupled microstrip pair, gap s: Z0 of the single strip, even and odd Z0 (1 +- k) with
/// the coupling k = 0.48 exp(-0.96 s/h) of the IPC approximation of 2 Zodd (a rough estimate).
Estimate diff_microstrip_estimate(double w, double s, double t, double h, double er);

/// Broadside-coupled stripline: strips w x t one above the other, `sep` apart, midway between
/// planes b apart. Parallel-plate capacitances with the zero-thickness fringe 2 ln2 / pi per
/// edge and face (a rough estimate).
Estimate broadside_stripline_estimate(double w, double t, double b, double sep, double er);

/// Coplanar waveguide, strip w, gaps s, zero thickness, grounds of width g (infinite: no
/// limit) on a substrate of height h (infinite: a half-space) and er, by conformal mapping:
/// without a bottom ground eps_eff = 1 + (er - 1)/2 K(k1)K(k0')/(K(k1')K(k0)) (exact for a
/// half-space), with it the grounded form of Ghione and Naldi. The finite ground width enters
/// k0 exactly (k0 = (a/b) sqrt((1 - b^2/c^2)/(1 - a^2/c^2)), c = b + g). A thickness t widens
/// the strip and narrows the gaps by Gupta's d = 1.25 t/pi (1 + ln(4 pi w/t)) (an estimate).
Estimate cpw_estimate(double w, double s, double t, double g, double h, double er, bool grounded);

}  // namespace ostrel::structures
