#include "framework/media/PointerList.h"

#include <new>

bool PointerList::Append(const void* pointer) {
    Node* node = new (std::nothrow) Node{pointer, tail_, nullptr};
    if (node == nullptr) {
        return false;
    }
    if (tail_ != nullptr) {
        tail_->next = node;
    } else {
        head_ = node;
    }
    tail_ = node;
    ++count_;
    return true;
}

bool PointerList::AppendAll(const PointerList& other) {
    // Counted, so that appending a list to itself ends.
    int remaining = other.count_;
    for (const Node* node = other.head_; remaining > 0; node = node->next, --remaining) {
        if (!Append(node->pointer)) {
            return false;
        }
    }
    return true;
}

bool PointerList::Contains(const void* pointer) const {
    for (const Node* node = head_; node != nullptr; node = node->next) {
        if (node->pointer == pointer) {
            return true;
        }
    }
    return false;
}

void PointerList::RemoveAll() {
    while (head_ != nullptr) {
        Node* next = head_->next;
        delete head_;
        head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
}
