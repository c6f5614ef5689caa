#include "objects/motion_list.h"

namespace {

void Draw(const BodyState& state, DrawPos& record) {
    record.x = static_cast<int>(state.body.x);
    record.y = static_cast<int>(state.body.y);
    record.frame = state.frame;
    record.finished = state.finished;
}

}  // namespace

MotionList::MotionList(int frames, int ticksPerFrame, int loop, int capacity)
    : PooledList<BodyState>(capacity), frames(frames), ticksPerFrame(ticksPerFrame), loop(loop) {}

int MotionList::Add(const Body& body) {
    DrawPos* record = nullptr;
    Node* node = Take(&record);
    if (node == nullptr) return 0;
    node->data = BodyState{body, 0, 0, 0};
    // A reused record would otherwise show the last owner until the next Update.
    Draw(node->data, *record);
    return 1;
}

void MotionList::Step(BodyState& state) const {
    Body& b = state.body;
    if (b.held == 0) {
        // Move with the velocity just updated.
        b.vx += b.ax;
        b.vy += b.ay;
        b.x += b.vx;
        b.y += b.vy;
    }
    if (state.finished == 0 && ++state.tick >= ticksPerFrame) {
        // At-least tests, so a list of 0 frames or 0 ticks finishes in one step.
        if (++state.frame >= frames) {
            if (loop == 1)
                state.frame = 0;
            else
                state.finished = 1;
        }
        state.tick = 0;
    }
}

DrawPos* MotionList::Update() {
    return ForEach([this](BodyState& state, DrawPos& record) {
        Step(state);
        Draw(state, record);
    });
}

DrawPos* MotionList::Get() {
    return ForEach([](BodyState& state, DrawPos& record) { Draw(state, record); });
}
