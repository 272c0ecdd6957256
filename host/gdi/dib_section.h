// Device-independent bitmap sections: an HBITMAP whose pixels also live in a buffer that the
// caller reads and writes directly. The host bitmap behind the handle keeps decoded pixels for
// drawing, so the two are brought into step around every GDI call that reads or draws the bitmap:
// Pull before reading (the buffer is what the caller last wrote), Push after drawing.
#pragma once

#include "platform/gdi.h"

namespace host {

bool IsDibSection(HBITMAP bitmap);
// False when bitmap is not a section.
bool DescribeDibSection(HBITMAP bitmap, DIBSECTION* out);
void PullDibSection(HBITMAP bitmap);
void PushDibSection(HBITMAP bitmap);
void ForgetDibSection(HBITMAP bitmap);

}  // namespace host
