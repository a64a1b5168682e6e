#pragma once

// GDI+ anti-aliased text for the render contexts' text drawing. The launcher core sets it
// at start-up, before any window paints; the UI framework only reads it.
extern bool g_textAntiAlias;
