#pragma once

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

#include "objects/draw_pos.h"

// Fixed-capacity pool behind every container of moving things. All nodes and output
// records are allocated when the container is built; afterwards they only move between
// a free list and an active list, so play never touches the heap.
//
// The free lists are queues: a node given back is reused only after every node that
// was free before it. The active lists keep the order of addition, oldest first, and
// the i-th active record belongs to the i-th active node.
template <class Payload>
class PooledList {
public:
    struct Node {
        Node* prev = nullptr;
        Node* next = nullptr;
        Payload data{};
    };

    explicit PooledList(int capacity);
    ~PooledList();
    PooledList(const PooledList&) = delete;
    PooledList& operator=(const PooledList&) = delete;

    // Removes the object at index (0 = oldest); 1 on success, 0 when the index does not
    // designate a live object.
    int Remove(int index);
    // Returns every live object to the pool; 1 on success, 0 when already empty.
    int Clear();
    int Count() const { return count; }
    int Capacity() const { return capacity; }
    int FreeCount() const { return Length(freeHead, freeTail); }

    // For soak tests: every list is doubly linked both ways, the active lists have
    // `count` members and the free lists the rest.
    bool LinksIntact() const;

    // For the replay viewer's snapshots: the container's whole state (every node and record
    // with its links, the free queues, the count) as bytes, and back into the same
    // container, which is then exactly as it was.
    std::size_t SnapshotSize() const;
    void SaveSnapshot(unsigned char* out) const;
    void LoadSnapshot(const unsigned char* in);

    // For tests and tools: the live object at index, or null.
    Payload* PeekAt(int index);
    const Payload* PeekAt(int index) const { return const_cast<PooledList*>(this)->PeekAt(index); }

protected:
    // Moves the front free node and record to the end of the active lists and returns
    // the node (record in *record); null when the pool is full.
    Node* Take(DrawPos** record);
    DrawPos* FirstRecord() { return activeRecHead.next; }

    // Calls step(payload, record) for every live object, oldest first.
    template <class Step>
    DrawPos* ForEach(Step step) {
        DrawPos* record = activeRecHead.next;
        for (Node* node = activeHead.next; node != &activeTail; node = node->next) {
            step(node->data, *record);
            record = record->next;
        }
        return activeRecHead.next;
    }

private:
    template <class Link>
    static void Join(Link* head, Link* tail) {
        head->next = tail;
        tail->prev = head;
    }
    template <class Link>
    static void Unlink(Link* link) {
        link->prev->next = link->next;
        link->next->prev = link->prev;
    }
    template <class Link>
    static void Append(Link* link, Link* tail) {
        link->prev = tail->prev;
        link->next = tail;
        tail->prev->next = link;
        tail->prev = link;
    }
    template <class Link>
    static Link* Walk(Link* link, int steps) {
        while (steps-- > 0) link = link->next;
        return link;
    }
    // Moves the whole active chain, in order, behind the last free member.
    template <class Link>
    static void Splice(Link* activeHead, Link* activeTail, Link* freeTail) {
        Link* first = activeHead->next;
        Link* last = activeTail->prev;
        Join(freeTail->prev, first);
        Join(last, freeTail);
        Join(activeHead, activeTail);
    }
    template <class Link>
    static int Length(const Link& head, const Link& tail);
    template <class Link>
    static bool Intact(const Link& head, const Link& tail, int expected);

    int count = 0;
    int capacity = 0;
    Node* nodes = nullptr;
    DrawPos* records = nullptr;
    Node freeHead, freeTail, activeHead, activeTail;
    DrawPos freeRecHead, freeRecTail, activeRecHead, activeRecTail;
};

template <class Payload>
PooledList<Payload>::PooledList(int capacity) {
    Join(&freeHead, &freeTail);
    Join(&activeHead, &activeTail);
    Join(&freeRecHead, &freeRecTail);
    Join(&activeRecHead, &activeRecTail);
    if (capacity <= 0) return;
    nodes = new (std::nothrow) Node[capacity]();
    records = new (std::nothrow) DrawPos[capacity]();
    if (nodes == nullptr || records == nullptr) {
        // Without its storage the container stays empty and refuses every Add.
        delete[] nodes;
        delete[] records;
        nodes = nullptr;
        records = nullptr;
        return;
    }
    this->capacity = capacity;
    for (int i = 0; i < capacity; ++i) {
        Append(&nodes[i], &freeTail);
        Append(&records[i], &freeRecTail);
    }
}

template <class Payload>
PooledList<Payload>::~PooledList() {
    delete[] nodes;
    delete[] records;
}

template <class Payload>
typename PooledList<Payload>::Node* PooledList<Payload>::Take(DrawPos** record) {
    if (count >= capacity) return nullptr;
    Node* node = freeHead.next;
    Unlink(node);
    Append(node, &activeTail);
    DrawPos* rec = freeRecHead.next;
    Unlink(rec);
    Append(rec, &activeRecTail);
    ++count;
    *record = rec;
    return node;
}

template <class Payload>
int PooledList<Payload>::Remove(int index) {
    if (count <= 0 || index < 0 || index >= count) return 0;
    // The two lists are walked separately; they stay paired because every change
    // touches both at the same position.
    Node* node = Walk(activeHead.next, index);
    Unlink(node);
    Append(node, &freeTail);
    DrawPos* rec = Walk(activeRecHead.next, index);
    Unlink(rec);
    Append(rec, &freeRecTail);
    --count;
    return 1;
}

template <class Payload>
int PooledList<Payload>::Clear() {
    if (count <= 0) return 0;
    Splice(&activeHead, &activeTail, &freeTail);
    Splice(&activeRecHead, &activeRecTail, &freeRecTail);
    count = 0;
    return 1;
}

template <class Payload>
std::size_t PooledList<Payload>::SnapshotSize() const {
    return sizeof(int) + 4 * sizeof(Node) + 4 * sizeof(DrawPos) +
           static_cast<std::size_t>(capacity) * (sizeof(Node) + sizeof(DrawPos));
}

template <class Payload>
void PooledList<Payload>::SaveSnapshot(unsigned char* out) const {
    static_assert(std::is_trivially_copyable_v<Node> && std::is_trivially_copyable_v<DrawPos>);
    const auto put = [&out](const void* from, std::size_t size) {
        std::memcpy(out, from, size);
        out += size;
    };
    put(&count, sizeof count);
    for (const Node* n : {&freeHead, &freeTail, &activeHead, &activeTail}) put(n, sizeof(Node));
    for (const DrawPos* r : {&freeRecHead, &freeRecTail, &activeRecHead, &activeRecTail})
        put(r, sizeof(DrawPos));
    put(nodes, static_cast<std::size_t>(capacity) * sizeof(Node));
    put(records, static_cast<std::size_t>(capacity) * sizeof(DrawPos));
}

template <class Payload>
void PooledList<Payload>::LoadSnapshot(const unsigned char* in) {
    const auto take = [&in](void* to, std::size_t size) {
        std::memcpy(to, in, size);
        in += size;
    };
    take(&count, sizeof count);
    for (Node* n : {&freeHead, &freeTail, &activeHead, &activeTail}) take(n, sizeof(Node));
    for (DrawPos* r : {&freeRecHead, &freeRecTail, &activeRecHead, &activeRecTail})
        take(r, sizeof(DrawPos));
    take(nodes, static_cast<std::size_t>(capacity) * sizeof(Node));
    take(records, static_cast<std::size_t>(capacity) * sizeof(DrawPos));
}

template <class Payload>
Payload* PooledList<Payload>::PeekAt(int index) {
    if (index < 0 || index >= count) return nullptr;
    return &Walk(activeHead.next, index)->data;
}

template <class Payload>
template <class Link>
int PooledList<Payload>::Length(const Link& head, const Link& tail) {
    int length = 0;
    for (const Link* link = head.next; link != &tail; link = link->next) ++length;
    return length;
}

template <class Payload>
template <class Link>
bool PooledList<Payload>::Intact(const Link& head, const Link& tail, int expected) {
    if (head.prev != nullptr || tail.next != nullptr) return false;
    int length = 0;
    const Link* link = &head;
    while (link != &tail) {
        if (link->next == nullptr || link->next->prev != link) return false;
        link = link->next;
        if (link != &tail && ++length > expected) return false;
    }
    return length == expected;
}

template <class Payload>
bool PooledList<Payload>::LinksIntact() const {
    int free = capacity - count;
    return count >= 0 && count <= capacity && Intact(activeHead, activeTail, count) &&
           Intact(freeHead, freeTail, free) && Intact(activeRecHead, activeRecTail, count) &&
           Intact(freeRecHead, freeRecTail, free);
}
