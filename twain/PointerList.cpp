#include "PointerList.h"

TPointerList::TPointerList() {
    SetCapacity(blockSize_);
}

void TPointerList::Add(TTwainSource* item) {
    SetCount(count_ + 1);
    Put(count_ - 1, item);
}

void TPointerList::Clear() {
    SetCount(0);
    SetCapacity(blockSize_);
}

void TPointerList::SetCount(int count) {
    if (count < 0)
        return;
    while (capacity_ < count)
        SetCapacity(capacity_ + blockSize_);
    count_ = count;
}

void TPointerList::SetCapacity(int capacity) {
    if (capacity <= 0 || capacity < count_)
        return;
    storage_.resize(std::size_t(capacity), nullptr);
    capacity_ = capacity;
}

TTwainSource* TPointerList::Get(int index) const {
    return index >= 0 && index < count_ ? storage_[std::size_t(index)] : nullptr;
}

void TPointerList::Put(int index, TTwainSource* item) {
    if (index >= 0 && index < count_)
        storage_[std::size_t(index)] = item;
}
