#include "scene.h"

#include <windows.h>
#include <GL/gl.h>

#include "app/body_field.h"
#include "app/frame_rate_meter.h"
#include "app/program.h"
#include "device/render_device.h"

double sceneClock;

namespace {

const unsigned char kBodyColour = 64;
const unsigned char kGridColour = 128;
const unsigned char kTitleColour = 240;

}  // namespace

void DrawBody(RenderDevice* device, const Body* body) {
    device->DrawEllipse(body->x, body->y, 4.0f, 8.0f, body->angle, 16, kEllipseFilled, kBodyColour);
    device->DrawEllipse(body->x, body->y, 8.0f, 4.0f, body->angle, 16, kEllipseOutline, kBodyColour);
}

void DrawScene(RenderDevice* device) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);  // takes effect from the next frame; same as GL's initial value

    device->DrawGrid(32.0f, static_cast<float>(sceneClock * 30.0), static_cast<float>(sceneClock * 50.0),
                     kGridColour, 0.5f);

    for (int i = 1; i < kBodyCount; ++i) DrawBody(device, &bodies[i]);

    const Body& player = bodies[0];
    device->DrawEllipse(player.x, player.y, 32.0f, 32.0f, player.angle, 16, kEllipseOutline, kBodyColour);

    // The title in the polygon glyphs, 24 pixels to the em; the zero z-scale flattens the extrusion.
    glPushMatrix();
    glColor4fv(device->palette[kTitleColour]);
    glListBase(device->polygonFontBase);
    glTranslatef(0.0f, 0.0f, 0.0f);
    glRotatef(0.0f, 0.0f, 0.0f, 1.0f);
    glScalef(24.0f, 24.0f, 0.0f);
    glCallLists(kProgramTitleLength, GL_UNSIGNED_BYTE, kProgramTitle);
    glPopMatrix();

    sceneClock = sceneClock + 1.0 / 60.0;
    UpdateFrameRate();
}
