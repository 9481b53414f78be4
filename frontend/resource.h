#pragma once

// Resource and control identifiers shared by the resource script and the window code.
// Plain #defines only: the resource compiler reads this file too.

#define IDI_APP_ICON 101       // icon group: one 32 x 32 image at 24 bits per pixel
#define IDC_CONVERT_BUTTON 102 // the window's only button
