#pragma once

// The look every console window was fitted to: the Fusion style in silver, and one face with
// Arial's widths at 11 pixels. Geometry and captions depend on it.
void ApplyConsoleLook();
