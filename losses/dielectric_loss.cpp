#include "losses/dielectric_loss.hpp"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>
#include <tuple>

#include "lines/parameters.hpp"
#include "lines/solutions.hpp"

namespace ostrel::losses {

namespace {

// F(f) = log10((f2 + j f) / (f1 + j f)) / (m2 - m1), the model's shape.
std::complex<double> debye_shape(double f) {
  const double f1 = std::pow(10.0, debye_low_decade), f2 = std::pow(10.0, debye_high_decade);
  const std::complex<double> ratio = std::complex<double>(f2, f) / std::complex<double>(f1, f);
  return std::log(ratio) / std::log(10.0) / (debye_high_decade - debye_low_decade);
}

}  // namespace

std::complex<double> DebyeModel::eps(double f) const {
  return eps_inf + delta * debye_shape(f);
}

DebyeModel fit_debye(double eps_r, double tan_delta, double f_ref) {
  const std::complex<double> shape = debye_shape(f_ref);
  DebyeModel d;
  d.delta = eps_r * tan_delta / -shape.imag();
  d.eps_inf = eps_r - d.delta * shape.real();
  if (!(d.eps_inf >= 1)) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "the wideband Debye model through eps_r %g and tan(delta) %g at %g Hz has "
                  "eps_inf %g < 1: the loss is too large for its band",
                  eps_r, tan_delta, f_ref, d.eps_inf);
    throw std::invalid_argument(buf);
  }
  return d;
}

double MediumGroup::real_ratio(double f) const {
  return debye ? model.eps(f).real() / eps : 1.0;
}

double MediumGroup::loss_ratio(double f) const {
  return debye ? -model.eps(f).imag() / eps : tan_delta;
}

DielectricLoss dielectric_loss(const Input& in, const Eigen::MatrixXd& ge,
                               const std::array<double, ndiel>& tan_delta, const LossOptions& o,
                               const std::string& tag, std::ostream& console) {
  const Problem& pb = in.problem;
  DielectricLoss d;
  // Groups by (tan delta, Debye reference, permittivity of a Debye medium).
  std::map<std::tuple<double, double, double>, std::vector<int>> keys;
  for (int k : lines::used_media(pb)) {
    const double t = k >= 1 ? tan_delta[k - 1] : 0.0;
    const auto it = k >= 1 ? o.debye.find(k) : o.debye.end();
    const double ref = it != o.debye.end() ? it->second.reference : 0.0;
    keys[{t, ref, ref > 0 ? pb.deps(k) : 0.0}].push_back(k);
  }
  for (const auto& [key, media] : keys) {
    MediumGroup g;
    g.media = media;
    g.tan_delta = std::get<0>(key);
    g.debye = std::get<1>(key) > 0;
    if (g.debye) {
      g.eps = std::get<2>(key);
      g.model = fit_debye(g.eps, g.tan_delta, std::get<1>(key));
    }
    d.groups.push_back(g);
  }
  // Every group but the largest (whose share is the rest) costs one solution.
  std::size_t rest = 0;
  for (std::size_t i = 1; i < d.groups.size(); ++i)
    if (d.groups[i].media.size() > d.groups[rest].media.size()) rest = i;
  const int m = static_cast<int>(ge.rows());
  Eigen::MatrixXd sum = Eigen::MatrixXd::Zero(m, m);
  for (std::size_t i = 0; i < d.groups.size(); ++i) {
    if (i == rest) continue;
    MediumGroup& g = d.groups[i];
    std::string names;
    for (int k : g.media)
      names += std::string(names.empty() ? "" : ",") + std::to_string(k);
    const std::vector<double> up =
        lines::capacitance(lines::scaled_media(in, g.media, 1 + lines::loss_step),
                           tag + "with deps(" + names + ") raised", console);
    ++d.solutions;
    g.share = (Eigen::Map<const Eigen::MatrixXd>(up.data(), m, m) - ge) / lines::loss_step;
    g.share = (0.5 * (g.share + g.share.transpose())).eval();
    sum += g.share;
  }
  d.groups[rest].share = ge - sum;
  return d;
}

ShuntAdmittance shunt_admittance(const DielectricLoss& d, double f) {
  const int m = static_cast<int>(d.groups.front().share.rows());
  ShuntAdmittance y{Eigen::MatrixXd::Zero(m, m), Eigen::MatrixXd::Zero(m, m)};
  const double w = 2 * std::numbers::pi * f;
  for (const MediumGroup& g : d.groups) {
    y.c += g.share * (g.real_ratio(f) * lines::eps0);
    y.g += g.share * (w * g.loss_ratio(f) * lines::eps0);
  }
  return y;
}

}  // namespace ostrel::losses
