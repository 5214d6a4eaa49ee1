// A doubly linked list of object pointers, used as identities only (never
// dereferenced). Appends report allocation failure instead of throwing.
#pragma once

class PointerList {
public:
    PointerList() = default;
    ~PointerList() { RemoveAll(); }
    PointerList(const PointerList&) = delete;
    PointerList& operator=(const PointerList&) = delete;

    // false when out of memory (the list is unchanged).
    bool Append(const void* pointer);
    // Appends every entry of `other` in order; false when out of memory (the
    // entries appended so far stay).
    bool AppendAll(const PointerList& other);
    bool Contains(const void* pointer) const;
    void RemoveAll();
    int Count() const { return count_; }

private:
    struct Node {
        const void* pointer;
        Node* previous;
        Node* next;
    };
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    int count_ = 0;
};
