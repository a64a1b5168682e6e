#pragma once

// Whether text is drawn with GDI+ anti-aliasing. Off until the launcher's own fonts are installed
// (a "set_language" rendering argument other than "taa" or "text_anti_alias" keeps it off); read by
// the render context on the UI thread.
extern bool g_textAntiAlias;
