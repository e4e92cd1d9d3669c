#include "foundation/shell/status_panes.h"

#include <algorithm>
#include <numeric>

namespace kv::shell {

std::vector<int> FitPaneWidths(int total, int gap, const std::vector<PaneSpec>& panes) {
  const size_t n = panes.size();
  std::vector<int> w(n);
  if (n == 0) return w;
  for (size_t i = 0; i < n; ++i) w[i] = std::max(panes[i].preferred, panes[i].minimum);
  w[n - 1] = panes[n - 1].minimum;
  const int room = total - gap * int(n - 1);
  int excess = std::accumulate(w.begin(), w.end(), 0) - room;
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return panes[a].yieldRank < panes[b].yieldRank; });
  for (size_t i : order) {
    if (excess <= 0) break;
    const int give = std::min(excess, w[i] - panes[i].minimum);
    w[i] -= give;
    excess -= give;
  }
  // Room to spare goes to the last pane.
  if (excess < 0) w[n - 1] -= excess;
  return w;
}

}  // namespace kv::shell
