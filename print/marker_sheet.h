#pragma once
// The marker sheet as a PDF at the real-size pages' resolution: the markers
// drawn from the library's own rendering of each code, cell by cell, as
// filled squares of exact size. No Qt type here.
#include <cstdint>
#include <string>

#include "print/print_layout.h"

namespace kv::print {

struct MarkerSheetOutcome {
  std::string failure;  // Japanese; empty when written
  int markers = 0;
  bool Done() const { return failure.empty(); }
};

// Written beside `path` and renamed over it when complete; refused (nothing
// written) when not one marker of this size fits on the paper.
MarkerSheetOutcome WriteMarkerSheetPdf(int32_t sizeMm, PaperSize paper,
                                       const std::string& path);

}  // namespace kv::print
