#pragma once
// A dynamic, zero-based array that starts with no storage at all. Asking the
// bounds of one never sized, or indexing outside its bounds, raises error 9.
#include <optional>
#include <vector>

#include "runtime/numbers.h"

namespace rt {

template <class T>
class DynArray {
public:
    // Resizes to indices 0..upper, keeping the elements that remain; new ones are empty.
    void ReDimPreserve(Long upper)
    {
        if (upper.value() < -1) Raise(err::SubscriptOutOfRange);
        if (!items_) items_.emplace();
        items_->resize(static_cast<std::size_t>(upper.value() + 1));
    }
    Long UBound() const
    {
        if (!items_) Raise(err::SubscriptOutOfRange);
        return Long(static_cast<std::int32_t>(items_->size())) - 1;
    }
    T& operator()(Long index) { return at(index); }
    const T& operator()(Long index) const { return const_cast<DynArray*>(this)->at(index); }

private:
    T& at(Long index)
    {
        if (!items_ || index.value() < 0 || static_cast<std::size_t>(index.value()) >= items_->size())
            Raise(err::SubscriptOutOfRange);
        return (*items_)[static_cast<std::size_t>(index.value())];
    }
    std::optional<std::vector<T>> items_;
};

}  // namespace rt
