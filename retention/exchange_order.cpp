#include "retention/exchange_order.h"

#include <numeric>
#include <utility>

namespace ruvello {

ExchangeOrder::ExchangeOrder(std::vector<std::int64_t> keys)
    : keys_(std::move(keys)), order_(keys_.size()) {
    std::iota(order_.begin(), order_.end(), std::size_t{0});
}

std::size_t ExchangeOrder::At(std::size_t position) {
    const std::size_t n = keys_.size();
    while (passesDone_ <= position && passesDone_ + 1 < n) {
        const std::size_t i = passesDone_++;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (keys_[j] < keys_[i]) {
                std::swap(keys_[i], keys_[j]);
                std::swap(order_[i], order_[j]);
            }
        }
    }
    return order_.at(position);
}

}  // namespace ruvello
