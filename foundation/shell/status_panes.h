#pragma once
// How the viewer's status panes share a row of a given width.
#include <vector>

namespace kv::shell {

struct PaneSpec {
  int preferred = 0;  // the width it has when there is room (the last: its minimum)
  int minimum = 0;    // below this its text is no longer readable
  int yieldRank = 0;  // lower ranks give way first when the row is narrow
};

// Widths for panes in a row `total` pixels wide with `gap` pixels between
// them. Every pane but the last gets its preferred width and the last one
// what is left; when that is not enough, panes give way down to their
// minimum in rank order. Only a row narrower than all the minimums is
// clipped at its end.
std::vector<int> FitPaneWidths(int total, int gap, const std::vector<PaneSpec>& panes);

}  // namespace kv::shell
