// The component's list of listed sources.
#pragma once

#include <vector>

class TTwainSource;

// A growable list of source references; it owns its storage only, which grows in blocks of ten.
class TPointerList {
public:
    TPointerList();

    void Add(TTwainSource* item);
    void Clear();
    void SetCount(int count);
    void SetCapacity(int capacity);
    // nullptr outside 0 .. Count - 1.
    TTwainSource* Get(int index) const;
    // Does nothing outside 0 .. Count - 1.
    void Put(int index, TTwainSource* item);

    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    int BlockSize() const { return blockSize_; }

private:
    std::vector<TTwainSource*> storage_;
    int blockSize_ = 10;
    int count_ = 0;
    int capacity_ = 0;
};
