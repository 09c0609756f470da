#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ruvello {

// The oldest-first order of the exchange sort (for each position i, for each later j: exchange
// when the key at j is strictly smaller), worked out lazily. Pass i fixes position i for good, so
// a caller that needs only the first k positions pays for k passes, and the ties among equal keys
// come out exactly as the full sort leaves them.
class ExchangeOrder {
  public:
    explicit ExchangeOrder(std::vector<std::int64_t> keys);

    // The original index of the entry at `position` in sorted order.
    std::size_t At(std::size_t position);
    std::size_t size() const { return order_.size(); }

  private:
    std::vector<std::int64_t> keys_;  // in current order
    std::vector<std::size_t> order_;  // original index of each current position
    std::size_t passesDone_ = 0;
};

}  // namespace ruvello
