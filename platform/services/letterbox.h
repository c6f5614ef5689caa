#pragma once
// Where the letterboxed 640x480 picture sits in a window of a given size, and how a point
// of that window maps back to the game's 640x480.

// The picture's place in a window of w x h pixels: the largest whole factor at which
// 640x480 fits (at least 1), centred. In a window smaller than the picture, x or y is
// negative and the picture's edges are cut.
struct Letterbox {
    int scale = 1;
    int x = 0;
    int y = 0;
};
Letterbox FitPicture(int windowWidth, int windowHeight);

// The game position under window pixel (wx, wy), not clamped: outside the picture it
// lies beyond 0..639 x 0..479.
void WindowToGame(const Letterbox& box, int wx, int wy, int* gx, int* gy);
