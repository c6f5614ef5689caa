#include "objects/mark_list.h"

namespace {

void Draw(const MarkState& mark, DrawPos& record) {
    record.frame = mark.frame;
    record.finished = mark.finished;
}

}  // namespace

MarkList::MarkList(int frames, int ticksPerFrame, int loop, int capacity)
    : PooledList<MarkState>(capacity), frames(frames), ticksPerFrame(ticksPerFrame), loop(loop) {}

int MarkList::Add(int x, int y) {
    DrawPos* record = nullptr;
    Node* node = Take(&record);
    if (node == nullptr) return 0;
    node->data = MarkState{x, y, 0, 0, 0};
    // Marks never move, so the position is written here only.
    record->x = x;
    record->y = y;
    Draw(node->data, *record);
    return 1;
}

void MarkList::Step(MarkState& mark) const {
    if (mark.finished != 0) return;
    // Equality tests: unlike bodies, marks count ticks and frames up to exact values.
    if (++mark.tick == ticksPerFrame) {
        if (++mark.frame == frames) {
            if (loop == 1)
                mark.frame = 0;
            else
                mark.finished = 1;
        }
        mark.tick = 0;
    }
}

DrawPos* MarkList::Update() {
    return ForEach([this](MarkState& mark, DrawPos& record) {
        Step(mark);
        Draw(mark, record);
    });
}

DrawPos* MarkList::Get() {
    return ForEach([](MarkState& mark, DrawPos& record) { Draw(mark, record); });
}
