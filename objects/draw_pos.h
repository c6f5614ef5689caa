#pragma once

// The integer output record through which the scenes read every pooled object.
// Records form a doubly linked list; a list's tail marker is the record whose
// `next` is null, so a walk stops at the record for which IsEnd() holds.
struct DrawPos {
    DrawPos* prev = nullptr;
    DrawPos* next = nullptr;
    int x = 0;
    int y = 0;
    int frame = 0;
    int finished = 0;
};

inline bool IsEnd(const DrawPos* record) { return record == nullptr || record->next == nullptr; }
