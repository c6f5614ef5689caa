// The title screen: its menu, the sign that pulses once clicked, the twelve letters
// that hop when knocked, and the fly that comes after ten seconds without a swat.
#include "scenes/title.h"

#include "media/display.h"
#include "media/random.h"
#include "media/sound.h"
#include "objects/instances.h"
#include "scenes/scene_globals.h"
#include "scenes/title_letters.h"

int SignPhase = 0;
std::uint32_t IdleStartTick = 0;
std::uint32_t TitleTick = 0;

namespace {

constexpr std::uint32_t kIdleDelayMs = 10000;

void AddBody(MotionList& list, double x, double y, double vx, double vy, double ax, double ay) {
    Body body;
    body.x = x;
    body.y = y;
    body.vx = vx;
    body.vy = vy;
    body.ax = ax;
    body.ay = ay;
    body.held = 0;
    list.Add(body);
}

void KnockLetters(int cx, int cy) {
    for (int i = 0; i < 12; ++i) {
        MotionList& letter = TitleLetters[i];
        DrawPos* p = letter.Get();
        if (IsEnd(p)) continue;
        int dx = p->x;
        int dy = p->y;
        int home = kTitleLetters[i].homeX;
        if (home - 8 + dx < cx && cx < home + 10 + dx && 438 + dy < cy && cy < 458 + dy) {
            letter.Remove(0);
            int r = NextRandom();
            AddBody(letter, dx, dy, (r % 2 != 0) ? 0.5 : -0.5, -2.0, 0.0, 0.08);
            PlayOnce(SND_TCLICK_2);
        }
    }
}

void SwatFlies(int cx, int cy) {
    int hx = cx + 8;
    int hy = cy + 8;
    int i = 0;
    for (DrawPos *p = Flies.Get(), *next; !IsEnd(p); p = next) {
        next = p->next;
        if (p->x - 16 <= hx && hx <= p->x + 34 && p->y - 16 <= hy && hy <= p->y + 34) {
            PlayHitSound();
            Flies.Remove(i);
            IdleStartTick = GetTickCount();
        } else {
            ++i;
        }
    }
}

// A letter that came down below its base line stands on it again where it got to.
void LandLetters() {
    for (MotionList& letter : TitleLetters) {
        DrawPos* p = letter.Get();
        if (IsEnd(p) || p->y <= 0) continue;
        int x = p->x;
        letter.Remove(0);
        AddBody(letter, x, 0.0, 0.0, 0.0, 0.0, 0.0);
    }
}

}  // namespace

int EnterTitle() {
    LoadSceneBitmap("bmp\\title.bmp", 255);
    SignPhase = 0;
    IdleStartTick = GetTickCount();
    for (MotionList& letter : TitleLetters) AddBody(letter, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0);
    return 1;
}

void TitleFrame() {
    SetCursor(nullptr);
    DrawTitle();
    PresentFrame();
    UpdateTitleSign();
    UpdateIdleFly();
    for (MotionList& letter : TitleLetters) letter.Update();
    TitleTick = GetTickCount();
    LandLetters();
}

// The pulse turns back at +/-10 by restarting the body a little nearer the middle
// with its motion reversed, so it swings between about -15 and +15 forever.
void UpdateTitleSign() {
    DrawPos* p = TitleSign.Update();
    if (IsEnd(p)) return;
    int s = p->x;
    if (SignPhase == 1 && s >= 10) {
        TitleSign.Remove(0);
        AddBody(TitleSign, 9.0, 9.0, 0.5, 0.5, -0.02, -0.02);
        SignPhase = 2;
    } else if (SignPhase == 2 && s <= -10) {
        TitleSign.Remove(0);
        AddBody(TitleSign, -9.0, -9.0, -0.5, -0.5, 0.02, 0.02);
        SignPhase = 1;
    }
}

void UpdateIdleFly() {
    TitleTick = GetTickCount();
    if (Flies.Count() != 0) {
        Flies.Update();
        PlayOnce(SND_CRY);  // already sounding: keeps sounding
        return;
    }
    // Unsigned difference: a wrap of the tick count does no harm.
    if (TitleTick - IdleStartTick >= kIdleDelayMs) {
        Flies.Add(static_cast<double>((NextRandom() % 50) / 10 + 5));
    }
    if (SND_CRY != nullptr) SND_CRY->Stop();
}

int TitleClick() {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    int cx = cursor.x;
    int cy = cursor.y;

    if (258 < cx && cx < 378 && 290 < cy && cy < 315) {
        PlayOnce(SND_OK);
        SceneState = STATE_TITLE_LEAVE;
        NextState = STATE_MODE_ENTER;
    }
    if (276 < cx && cx < 360 && 340 < cy && cy < 371) {
        PlayOnce(SND_OK);
        SceneState = STATE_TITLE_LEAVE;
        NextState = STATE_QUIT;
    }
    if (SignPhase == 0 && 149 < cx && cx < 488 && 100 < cy && cy < 223) {
        AddBody(TitleSign, 0.0, 0.0, 0.0, 0.0, 0.02, 0.02);
        PlayOnce(SND_TCLICK_1);
        SignPhase = 1;
    }
    KnockLetters(cx, cy);
    SwatFlies(cx, cy);
    return 1;
}

int LeaveTitle() {
    Flies.Clear();
    if (!IsEnd(TitleSign.Get())) TitleSign.Remove(0);
    for (MotionList& letter : TitleLetters) letter.Clear();
    ClearBackBuffer(0);
    return PresentFrame();
}
