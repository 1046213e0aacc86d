// An array of model records addressed by slot: the main model set (slots in
// model-list order) and the anti-model set.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "models/hmm_model.h"

namespace kws {

struct ModelSet {
  std::int16_t count = 0;
  std::unique_ptr<HmmModel[]> records;

  // count zero-filled records; false when the memory cannot be had.
  bool allocate(std::int16_t model_count) {
    records.reset(new (std::nothrow) HmmModel[model_count > 0 ? model_count : 0]());
    count = records ? model_count : 0;
    return records != nullptr;
  }

  void release() {
    records.reset();
    count = 0;
  }

  std::span<HmmModel> models() { return {records.get(), static_cast<std::size_t>(count)}; }
  std::span<const HmmModel> models() const { return {records.get(), static_cast<std::size_t>(count)}; }
};

}  // namespace kws
