// The drawing primitives of the render device: ellipses from the shared quadric and the grid.
#include <math.h>

#include "render_device.h"

void RenderDevice::DrawEllipse(float x, float y, float radiusX, float radiusY, float angle, int slices,
                               EllipseStyle style, unsigned char colourIndex) {
    glPushMatrix();
    // Scaled first, then turned, then moved.
    glTranslatef(x, y, 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    glScalef(radiusX, radiusY, 0.0f);
    switch (style) {
        case kEllipseFilled:
            gluQuadricDrawStyle(quadric, GLU_FILL);
            break;
        case kEllipseOutline:
            gluQuadricDrawStyle(quadric, GLU_SILHOUETTE);
            break;
        default:
            gluQuadricDrawStyle(quadric, GLU_LINE);
            break;
    }
    glColor4fv(palette[colourIndex]);
    gluDisk(quadric, 0.0, 1.0, slices, 1);
    glPopMatrix();
}

namespace {

// Lines from the phase of `offset` up to `limit`. Stops where adding `spacing` no longer moves
// a single-precision position, so that no spacing can keep it here forever.
void DrawGridLines(float spacing, float offset, float limit, float across, bool vertical) {
    float p = static_cast<float>(fmod(offset, spacing));
    while (p < limit) {
        if (vertical) {
            glVertex2f(p, 0.0f);
            glVertex2f(p, across);
        } else {
            glVertex2f(0.0f, p);
            glVertex2f(across, p);
        }
        const float next = p + spacing;
        if (!(next > p)) break;
        p = next;
    }
}

}  // namespace

void RenderDevice::DrawGrid(float spacing, float offsetX, float offsetY, unsigned char colourIndex,
                            float lineWidth) {
    if (spacing <= 0.0f) return;  // NaN passes and draws no line
    glPushMatrix();
    glColor4fv(palette[colourIndex]);
    glLineWidth(lineWidth);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    glBegin(GL_LINES);
    DrawGridLines(spacing, offsetX, w, h, true);
    DrawGridLines(spacing, offsetY, h, w, false);
    glEnd();
    glLineWidth(1.0f);  // back to 1.0, not to what it was
    glPopMatrix();
}
