// The scene: grid, bodies, player and title, drawn back to front once per frame.
#ifndef BRIMVALK_SCENE_H
#define BRIMVALK_SCENE_H

struct Body;
struct RenderDevice;

// Scene time in seconds: exactly 1/60 more per drawn frame, whatever the real time.
extern double sceneClock;

// The frame callback handed to RenderDevice::RenderFrame.
void DrawScene(RenderDevice* device);

// One body: a filled ellipse crossed by an outlined one, turned by the body's angle.
void DrawBody(RenderDevice* device, const Body* body);

#endif
