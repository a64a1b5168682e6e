/* The runtime's own front end for the NetSurf engine: one browser window a render process, its
 * layout measured and its pages painted with GDI into a 32-bit DIB section, http and https
 * fetched by the host, scheduled work run by the host's loop. */

#include <winsock2.h>
#include <windows.h>

#include <stdbool.h>
#include <stdlib.h>
#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <nslog/nslog.h>

#include "utils/errors.h"
#include "utils/nsoption.h"
#include "utils/nsurl.h"
#include "utils/ring.h"
#include "netsurf/bitmap.h"
#include "netsurf/browser.h"
#include "netsurf/browser_window.h"
#include "netsurf/fetch.h"
#include "netsurf/layout.h"
#include "netsurf/misc.h"
#include "netsurf/mouse.h"
#include "netsurf/keypress.h"
#include "netsurf/netsurf.h"
#include "netsurf/plotters.h"
#include "netsurf/window.h"
#include "content/fetch.h"
#include "content/fetchers.h"

#include "content/handlers/javascript/js.h"
#include "content/handlers/javascript/duktape/duktape.h"

#include "browser/cef/cef_runtime_abi.h"
#include "tools/browser_runtime/engine/page_engine.h"

/* The engine's own call of script code, with its time limit reset. */
duk_int_t dukky_pcall(duk_context* ctx, duk_size_t argc, bool reset_timeout);

/* Resources built into libcef.dll (engine_resources.rc). */
#define PAGE_ENGINE_RESOURCE_TYPE 10 /* RT_RCDATA */

static page_engine_host g_host;
static struct browser_window* g_bw;
static struct gui_window* g_gw;
static int g_width = 800, g_height = 600;

struct gui_window {
  struct browser_window* bw;
  int scroll_x, scroll_y;
};

static void poll_title(void);

/* ------------------------------------------------------------------ scheduled work */

struct scheduled {
  struct scheduled* next;
  ULONGLONG due;
  void (*callback)(void*);
  void* p;
};
static struct scheduled* g_schedule;

static void unschedule(void (*callback)(void*), void* p) {
  struct scheduled** at = &g_schedule;
  while (*at) {
    if ((*at)->callback == callback && (*at)->p == p) {
      struct scheduled* gone = *at;
      *at = gone->next;
      free(gone);
    } else {
      at = &(*at)->next;
    }
  }
}

static nserror engine_schedule(int t, void (*callback)(void* p), void* p) {
  unschedule(callback, p);
  if (t < 0) return NSERROR_OK;
  struct scheduled* entry = malloc(sizeof(*entry));
  if (!entry) return NSERROR_NOMEM;
  entry->due = GetTickCount64() + (ULONGLONG)t;
  entry->callback = callback;
  entry->p = p;
  /* Kept in due order; equal times run in the order they were asked for. */
  struct scheduled** at = &g_schedule;
  while (*at && (*at)->due <= entry->due) at = &(*at)->next;
  entry->next = *at;
  *at = entry;
  return NSERROR_OK;
}

int page_engine_run_due(void) {
  for (;;) {
    poll_title();
    if (!g_schedule) return -1;
    ULONGLONG now = GetTickCount64();
    if (g_schedule->due > now) {
      ULONGLONG wait = g_schedule->due - now;
      return wait > 0x7fffffff ? 0x7fffffff : (int)wait;
    }
    struct scheduled* entry = g_schedule;
    g_schedule = entry->next;
    void (*callback)(void*) = entry->callback;
    void* p = entry->p;
    free(entry);
    callback(p);
  }
}

static struct gui_misc_table misc_table = {
    .schedule = engine_schedule,
};

/* ------------------------------------------------------------------ text and fonts */

static HDC g_measure_dc;

static WCHAR* widen(const char* text, size_t length, int* count) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text, (int)length, NULL, 0);
  WCHAR* wide = malloc(sizeof(WCHAR) * (size_t)(n + 1));
  if (!wide) {
    *count = 0;
    return NULL;
  }
  MultiByteToWideChar(CP_UTF8, 0, text, (int)length, wide, n);
  wide[n] = 0;
  *count = n;
  return wide;
}

/* The UTF-8 byte offset of UTF-16 unit `units` of `text`. */
static size_t byte_offset(const char* text, size_t length, int units) {
  size_t at = 0;
  while (units > 0 && at < length) {
    unsigned char c = (unsigned char)text[at];
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    units -= n == 4 ? 2 : 1;
    at += n;
  }
  return at > length ? length : at;
}

static bool needs_cjk_face(const WCHAR* text, int count) {
  for (int i = 0; i < count; i++)
    if (text[i] >= 0x2E80) return true;
  return false;
}

struct font_entry {
  int family, px, weight, italic, cjk;
  HFONT font;
};
static struct font_entry g_fonts[64];
static int g_font_count;

static HFONT font_for(const plot_font_style_t* style, const WCHAR* text, int count) {
  static const WCHAR* const faces[] = {L"DejaVu Sans", L"DejaVu Serif", L"DejaVu Sans Mono", L"DejaVu Serif",
                                       L"DejaVu Sans"};
  int family = style->family < PLOT_FONT_FAMILY_COUNT ? (int)style->family : 0;
  int px = (int)(((long long)style->size * browser_get_dpi() + 72 * PLOT_STYLE_SCALE / 2) / (72 * PLOT_STYLE_SCALE));
  if (px < 1) px = 1;
  int italic = (style->flags & (FONTF_ITALIC | FONTF_OBLIQUE)) != 0;
  int cjk = needs_cjk_face(text, count);
  for (int i = 0; i < g_font_count; i++) {
    struct font_entry* e = &g_fonts[i];
    if (e->family == family && e->px == px && e->weight == style->weight && e->italic == italic && e->cjk == cjk)
      return e->font;
  }
  HFONT font = CreateFontW(-px, 0, 0, 0, style->weight, italic, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH,
                           cjk ? L"Noto Sans CJK SC" : faces[family]);
  if (g_font_count == (int)(sizeof(g_fonts) / sizeof(g_fonts[0]))) {
    /* A page with many sizes: start the cache over. */
    for (int i = 0; i < g_font_count; i++) DeleteObject(g_fonts[i].font);
    g_font_count = 0;
  }
  g_fonts[g_font_count++] = (struct font_entry){family, px, style->weight, italic, cjk, font};
  return font;
}

/* Widths of the first 1..count characters of `text`. */
static int* measure(const plot_font_style_t* style, const WCHAR* text, int count, int* total) {
  int* extents = malloc(sizeof(int) * (size_t)(count + 1));
  SIZE size = {0, 0};
  if (!extents) return NULL;
  SelectObject(g_measure_dc, font_for(style, text, count));
  GetTextExtentExPointW(g_measure_dc, text, count, 0, NULL, extents, &size);
  *total = size.cx;
  return extents;
}

static nserror layout_width(const plot_font_style_t* style, const char* string, size_t length, int* width) {
  int count;
  WCHAR* text = widen(string, length, &count);
  *width = 0;
  if (!text) return length ? NSERROR_NOMEM : NSERROR_OK;
  SIZE size = {0, 0};
  SelectObject(g_measure_dc, font_for(style, text, count));
  GetTextExtentPoint32W(g_measure_dc, text, count, &size);
  *width = size.cx;
  free(text);
  return NSERROR_OK;
}

/* The character nearest to x. */
static nserror layout_position(const plot_font_style_t* style, const char* string, size_t length, int x,
                               size_t* char_offset, int* actual_x) {
  int count, total;
  WCHAR* text = widen(string, length, &count);
  *char_offset = 0;
  *actual_x = 0;
  if (!text) return length ? NSERROR_NOMEM : NSERROR_OK;
  int* extents = measure(style, text, count, &total);
  if (!extents) {
    free(text);
    return NSERROR_NOMEM;
  }
  int i = 0, before = 0;
  while (i < count && extents[i] <= x) before = extents[i++];
  if (i < count && extents[i] - x < x - before) before = extents[i++];
  *char_offset = byte_offset(string, length, i);
  *actual_x = before;
  free(extents);
  free(text);
  return NSERROR_OK;
}

/* Where to break a line for width x: at the last space that fits, else the first space after. */
static nserror layout_split(const plot_font_style_t* style, const char* string, size_t length, int x,
                            size_t* char_offset, int* actual_x) {
  int count, total;
  WCHAR* text = widen(string, length, &count);
  *char_offset = 0;
  *actual_x = 0;
  if (!text) return length ? NSERROR_NOMEM : NSERROR_OK;
  int* extents = measure(style, text, count, &total);
  if (!extents) {
    free(text);
    return NSERROR_NOMEM;
  }
  int space = -1;
  for (int i = 0; i < count; i++) {
    if (text[i] == L' ') {
      if (i == 0 || extents[i - 1] <= x || space < 0) space = i;
      if (i > 0 && extents[i - 1] > x) break;
    }
  }
  if (space < 0) {
    *char_offset = length;
    *actual_x = total;
  } else {
    *char_offset = byte_offset(string, length, space);
    *actual_x = space > 0 ? extents[space - 1] : 0;
  }
  free(extents);
  free(text);
  return NSERROR_OK;
}

static struct gui_layout_table layout_table = {
    .width = layout_width,
    .position = layout_position,
    .split = layout_split,
};

/* ------------------------------------------------------------------ bitmaps */

struct bitmap {
  int width, height;
  bool opaque;
  bool modified;
  uint8_t* pixels; /* R, G, B, A bytes, as the image decoders write them */
  HBITMAP dib;     /* premultiplied BGRA copy for painting, made when first painted */
  uint32_t* dib_pixels;
};

static void* bitmap_create(int width, int height, unsigned int state) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return NULL;
  struct bitmap* b = calloc(1, sizeof(*b));
  if (!b) return NULL;
  b->width = width;
  b->height = height;
  b->opaque = (state & BITMAP_OPAQUE) != 0;
  b->pixels = calloc((size_t)width * height, 4);
  if (!b->pixels) {
    free(b);
    return NULL;
  }
  b->modified = true;
  return b;
}

static void bitmap_destroy(void* p) {
  struct bitmap* b = p;
  if (!b) return;
  if (b->dib) DeleteObject(b->dib);
  free(b->pixels);
  free(b);
}

static void bitmap_set_opaque(void* p, bool opaque) { ((struct bitmap*)p)->opaque = opaque; }
static bool bitmap_get_opaque(void* p) { return ((struct bitmap*)p)->opaque; }
static bool bitmap_test_opaque(void* p) {
  struct bitmap* b = p;
  for (size_t i = 0, n = (size_t)b->width * b->height; i < n; i++)
    if (b->pixels[i * 4 + 3] != 0xff) return false;
  return true;
}
static unsigned char* bitmap_get_buffer(void* p) { return ((struct bitmap*)p)->pixels; }
static size_t bitmap_get_rowstride(void* p) { return (size_t)((struct bitmap*)p)->width * 4; }
static int bitmap_get_width(void* p) { return ((struct bitmap*)p)->width; }
static int bitmap_get_height(void* p) { return ((struct bitmap*)p)->height; }
static size_t bitmap_get_bpp(void* p) { return 4; }
static bool bitmap_save(void* p, const char* path, unsigned flags) { return false; }
static void bitmap_modified(void* p) { ((struct bitmap*)p)->modified = true; }
static nserror bitmap_render(struct bitmap* b, struct hlcache_handle* content) { return NSERROR_NOT_IMPLEMENTED; }

static struct gui_bitmap_table bitmap_table = {
    .create = bitmap_create,
    .destroy = bitmap_destroy,
    .set_opaque = bitmap_set_opaque,
    .get_opaque = bitmap_get_opaque,
    .test_opaque = bitmap_test_opaque,
    .get_buffer = bitmap_get_buffer,
    .get_rowstride = bitmap_get_rowstride,
    .get_width = bitmap_get_width,
    .get_height = bitmap_get_height,
    .get_bpp = bitmap_get_bpp,
    .save = bitmap_save,
    .modified = bitmap_modified,
    .render = bitmap_render,
};

/* The bitmap as a premultiplied BGRA DIB section, brought up to date. */
static HBITMAP bitmap_dib(struct bitmap* b) {
  if (!b->dib) {
    BITMAPINFO info = {0};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = b->width;
    info.bmiHeader.biHeight = -b->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    b->dib = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, (void**)&b->dib_pixels, NULL, 0);
    if (!b->dib) return NULL;
    b->modified = true;
  }
  if (b->modified) {
    GdiFlush();
    for (size_t i = 0, n = (size_t)b->width * b->height; i < n; i++) {
      const uint8_t* s = b->pixels + i * 4;
      uint32_t a = s[3];
      uint32_t r = s[0] * a / 255, g = s[1] * a / 255, bl = s[2] * a / 255;
      b->dib_pixels[i] = a << 24 | r << 16 | g << 8 | bl;
    }
    b->modified = false;
  }
  return b->dib;
}

/* ------------------------------------------------------------------ plotting */

struct canvas {
  HDC dc;
  HBITMAP dib;
  HGDIOBJ old;
  uint32_t* pixels;
  int width, height;
  RECT clip;
};
static struct canvas g_canvas;

static COLORREF colour_ref(colour c) { return (COLORREF)(c & 0xffffff); }

static nserror plot_clip(const struct redraw_context* ctx, const struct rect* clip) {
  SetRect(&g_canvas.clip, clip->x0, clip->y0, clip->x1, clip->y1);
  HRGN region = CreateRectRgn(clip->x0, clip->y0, clip->x1, clip->y1);
  SelectClipRgn(g_canvas.dc, region);
  DeleteObject(region);
  return NSERROR_OK;
}

static HPEN pen_for(const plot_style_t* style) {
  if (style->stroke_type == PLOT_OP_TYPE_NONE) return (HPEN)GetStockObject(NULL_PEN);
  int width = plot_style_fixed_to_int(style->stroke_width);
  int kind = style->stroke_type == PLOT_OP_TYPE_DOT ? PS_DOT : style->stroke_type == PLOT_OP_TYPE_DASH ? PS_DASH : PS_SOLID;
  LOGBRUSH brush = {BS_SOLID, colour_ref(style->stroke_colour), 0};
  return ExtCreatePen(PS_GEOMETRIC | kind | PS_ENDCAP_FLAT | PS_JOIN_MITER, width < 1 ? 1 : width, &brush, 0, NULL);
}

static HBRUSH brush_for(const plot_style_t* style) {
  if (style->fill_type == PLOT_OP_TYPE_NONE) return (HBRUSH)GetStockObject(NULL_BRUSH);
  return CreateSolidBrush(colour_ref(style->fill_colour));
}

/* Selects the style's pen and brush, runs the drawing, and restores the DC. */
#define WITH_STYLE(style, body)                                   \
  do {                                                            \
    HPEN pen_ = pen_for(style);                                   \
    HBRUSH brush_ = brush_for(style);                             \
    HGDIOBJ old_pen_ = SelectObject(g_canvas.dc, pen_);           \
    HGDIOBJ old_brush_ = SelectObject(g_canvas.dc, brush_);       \
    body;                                                         \
    SelectObject(g_canvas.dc, old_pen_);                          \
    SelectObject(g_canvas.dc, old_brush_);                        \
    DeleteObject(pen_);                                           \
    DeleteObject(brush_);                                         \
  } while (0)

static nserror plot_arc(const struct redraw_context* ctx, const plot_style_t* style, int x, int y, int radius,
                        int angle1, int angle2) {
  double a1 = angle1 * 3.14159265358979 / 180, a2 = angle2 * 3.14159265358979 / 180;
  int sx = x + (int)(radius * cos(a1)), sy = y - (int)(radius * sin(a1));
  int ex = x + (int)(radius * cos(a2)), ey = y - (int)(radius * sin(a2));
  plot_style_t stroke = *style;
  stroke.stroke_type = PLOT_OP_TYPE_SOLID;
  stroke.stroke_colour = style->fill_colour;
  stroke.fill_type = PLOT_OP_TYPE_NONE;
  WITH_STYLE(&stroke, Arc(g_canvas.dc, x - radius, y - radius, x + radius, y + radius, sx, sy, ex, ey));
  return NSERROR_OK;
}

static nserror plot_disc(const struct redraw_context* ctx, const plot_style_t* style, int x, int y, int radius) {
  WITH_STYLE(style, Ellipse(g_canvas.dc, x - radius, y - radius, x + radius + 1, y + radius + 1));
  return NSERROR_OK;
}

static nserror plot_line(const struct redraw_context* ctx, const plot_style_t* style, const struct rect* line) {
  WITH_STYLE(style, {
    MoveToEx(g_canvas.dc, line->x0, line->y0, NULL);
    LineTo(g_canvas.dc, line->x1, line->y1);
  });
  return NSERROR_OK;
}

static nserror plot_rectangle(const struct redraw_context* ctx, const plot_style_t* style, const struct rect* r) {
  if (style->fill_type != PLOT_OP_TYPE_NONE) {
    RECT area = {r->x0, r->y0, r->x1, r->y1};
    HBRUSH brush = CreateSolidBrush(colour_ref(style->fill_colour));
    FillRect(g_canvas.dc, &area, brush);
    DeleteObject(brush);
  }
  if (style->stroke_type != PLOT_OP_TYPE_NONE) {
    plot_style_t outline = *style;
    outline.fill_type = PLOT_OP_TYPE_NONE;
    WITH_STYLE(&outline, Rectangle(g_canvas.dc, r->x0, r->y0, r->x1 + 1, r->y1 + 1));
  }
  return NSERROR_OK;
}

static nserror plot_polygon(const struct redraw_context* ctx, const plot_style_t* style, const int* p, unsigned int n) {
  POINT* points = malloc(sizeof(POINT) * n);
  if (!points) return NSERROR_NOMEM;
  for (unsigned int i = 0; i < n; i++) points[i] = (POINT){p[2 * i], p[2 * i + 1]};
  plot_style_t fill = *style;
  fill.stroke_type = PLOT_OP_TYPE_NONE;
  WITH_STYLE(&fill, Polygon(g_canvas.dc, points, (int)n));
  free(points);
  return NSERROR_OK;
}

static nserror plot_path(const struct redraw_context* ctx, const plot_style_t* style, const float* p, unsigned int n,
                         const float t[6]) {
#define PX(i) ((int)(t[0] * p[i] + t[2] * p[(i) + 1] + t[4]))
#define PY(i) ((int)(t[1] * p[i] + t[3] * p[(i) + 1] + t[5]))
  BeginPath(g_canvas.dc);
  for (unsigned int i = 0; i < n;) {
    int command = (int)p[i];
    if (command == PLOTTER_PATH_MOVE && i + 2 < n + 1) {
      MoveToEx(g_canvas.dc, PX(i + 1), PY(i + 1), NULL);
      i += 3;
    } else if (command == PLOTTER_PATH_LINE) {
      LineTo(g_canvas.dc, PX(i + 1), PY(i + 1));
      i += 3;
    } else if (command == PLOTTER_PATH_BEZIER) {
      POINT b[3] = {{PX(i + 1), PY(i + 1)}, {PX(i + 3), PY(i + 3)}, {PX(i + 5), PY(i + 5)}};
      PolyBezierTo(g_canvas.dc, b, 3);
      i += 7;
    } else if (command == PLOTTER_PATH_CLOSE) {
      CloseFigure(g_canvas.dc);
      i += 1;
    } else {
      break;
    }
  }
  EndPath(g_canvas.dc);
#undef PX
#undef PY
  WITH_STYLE(style, {
    if (style->fill_type != PLOT_OP_TYPE_NONE && style->stroke_type != PLOT_OP_TYPE_NONE)
      StrokeAndFillPath(g_canvas.dc);
    else if (style->fill_type != PLOT_OP_TYPE_NONE)
      FillPath(g_canvas.dc);
    else
      StrokePath(g_canvas.dc);
  });
  return NSERROR_OK;
}

static nserror plot_bitmap(const struct redraw_context* ctx, struct bitmap* b, int x, int y, int width, int height,
                           colour bg, bitmap_flags_t flags) {
  if (!b || width <= 0 || height <= 0) return NSERROR_OK;
  HBITMAP dib = bitmap_dib(b);
  if (!dib) return NSERROR_NOMEM;
  HDC source = CreateCompatibleDC(g_canvas.dc);
  HGDIOBJ old = SelectObject(source, dib);
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  /* Repeats cover the clip from the first tile at or before it. */
  int x0 = x, y0 = y, x1 = x + width, y1 = y + height;
  if (flags & BITMAPF_REPEAT_X) {
    while (x0 > g_canvas.clip.left) x0 -= width;
    while (x0 + width <= g_canvas.clip.left) x0 += width;
    x1 = g_canvas.clip.right;
  }
  if (flags & BITMAPF_REPEAT_Y) {
    while (y0 > g_canvas.clip.top) y0 -= height;
    while (y0 + height <= g_canvas.clip.top) y0 += height;
    y1 = g_canvas.clip.bottom;
  }
  for (int ty = y0; ty < y1; ty += height)
    for (int tx = x0; tx < x1; tx += width)
      GdiAlphaBlend(g_canvas.dc, tx, ty, width, height, source, 0, 0, b->width, b->height, blend);
  SelectObject(source, old);
  DeleteDC(source);
  return NSERROR_OK;
}

static nserror plot_text(const struct redraw_context* ctx, const plot_font_style_t* style, int x, int y,
                         const char* string, size_t length) {
  int count;
  WCHAR* text = widen(string, length, &count);
  if (!text) return length ? NSERROR_NOMEM : NSERROR_OK;
  HGDIOBJ old = SelectObject(g_canvas.dc, font_for(style, text, count));
  SetTextAlign(g_canvas.dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
  SetBkMode(g_canvas.dc, TRANSPARENT);
  SetTextColor(g_canvas.dc, colour_ref(style->foreground));
  TextOutW(g_canvas.dc, x, y, text, count);
  SelectObject(g_canvas.dc, old);
  free(text);
  return NSERROR_OK;
}

static const struct plotter_table plotters = {
    .clip = plot_clip,
    .arc = plot_arc,
    .disc = plot_disc,
    .line = plot_line,
    .rectangle = plot_rectangle,
    .polygon = plot_polygon,
    .path = plot_path,
    .bitmap = plot_bitmap,
    .text = plot_text,
    .option_knockout = true,
};

static bool canvas_ensure(int width, int height) {
  if (g_canvas.dib && g_canvas.width == width && g_canvas.height == height) return true;
  if (g_canvas.dc) {
    SelectObject(g_canvas.dc, g_canvas.old);
    DeleteObject(g_canvas.dib);
    DeleteDC(g_canvas.dc);
    memset(&g_canvas, 0, sizeof(g_canvas));
  }
  BITMAPINFO info = {0};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  g_canvas.dc = CreateCompatibleDC(NULL);
  g_canvas.dib = CreateDIBSection(g_canvas.dc, &info, DIB_RGB_COLORS, (void**)&g_canvas.pixels, NULL, 0);
  if (!g_canvas.dib) {
    DeleteDC(g_canvas.dc);
    memset(&g_canvas, 0, sizeof(g_canvas));
    return false;
  }
  g_canvas.old = SelectObject(g_canvas.dc, g_canvas.dib);
  g_canvas.width = width;
  g_canvas.height = height;
  return true;
}

/* GDI leaves alpha 0 where it draws: every pixel it changed from the transparent start gets 255. */
static const uint32_t kUnpainted = 0x00FF00FEu;

void page_engine_paint(uint32_t* pixels, int width, int height) {
  if (width <= 0 || height <= 0) return;
  if (width != g_width || height != g_height) {
    g_width = width;
    g_height = height;
    if (g_bw) browser_window_schedule_reformat(g_bw);
  }
  if (!canvas_ensure(width, height)) return;
  size_t n = (size_t)width * height;
  /* Before the first page there is nothing to lay out: an opaque white view. */
  const uint32_t start = g_bw ? kUnpainted : 0x00FFFFFFu;
  for (size_t i = 0; i < n; i++) g_canvas.pixels[i] = start;
  struct redraw_context ctx = {.interactive = true, .background_images = true, .plot = &plotters};
  struct rect clip = {0, 0, width, height};
  plot_clip(&ctx, &clip);
  if (g_bw) {
    int sx = g_gw ? g_gw->scroll_x : 0, sy = g_gw ? g_gw->scroll_y : 0;
    browser_window_redraw(g_bw, -sx, -sy, &clip, &ctx);
  }
  GdiFlush();
  for (size_t i = 0; i < n; i++) {
    uint32_t v = g_canvas.pixels[i];
    /* Painted pixels are opaque; what nothing covered stays transparent. */
    pixels[i] = v == kUnpainted ? 0 : (v | 0xFF000000u);
  }
}

/* ------------------------------------------------------------------ the browser window */

static struct gui_window* window_create(struct browser_window* bw, struct gui_window* existing,
                                        gui_window_create_flags flags) {
  struct gui_window* gw = calloc(1, sizeof(*gw));
  if (!gw) return NULL;
  gw->bw = bw;
  if (!g_gw) g_gw = gw;
  return gw;
}

static void window_destroy(struct gui_window* gw) {
  if (g_gw == gw) g_gw = NULL;
  free(gw);
}

static void notify_invalidated(void) {
  if (g_host.invalidated) g_host.invalidated(g_host.self);
}

static nserror window_invalidate(struct gui_window* gw, const struct rect* rect) {
  notify_invalidated();
  return NSERROR_OK;
}

static bool window_get_scroll(struct gui_window* gw, int* sx, int* sy) {
  *sx = gw->scroll_x;
  *sy = gw->scroll_y;
  return true;
}

static nserror window_set_scroll(struct gui_window* gw, const struct rect* rect) {
  gw->scroll_x = rect->x0 < 0 ? 0 : rect->x0;
  gw->scroll_y = rect->y0 < 0 ? 0 : rect->y0;
  notify_invalidated();
  return NSERROR_OK;
}

static nserror window_get_dimensions(struct gui_window* gw, int* width, int* height) {
  *width = g_width;
  *height = g_height;
  return NSERROR_OK;
}

static nserror window_event(struct gui_window* gw, enum gui_window_event event) {
  if (event == GW_EVENT_NEW_CONTENT) gw->scroll_x = gw->scroll_y = 0;
  if ((event == GW_EVENT_START_THROBBER || event == GW_EVENT_STOP_THROBBER) && g_host.busy)
    g_host.busy(g_host.self, event == GW_EVENT_START_THROBBER);
  if (event == GW_EVENT_NEW_CONTENT || event == GW_EVENT_UPDATE_EXTENT || event == GW_EVENT_STOP_THROBBER)
    notify_invalidated();
  return NSERROR_OK;
}

/* The title the host heard of last: scripts change the page's title without telling the window,
 * so it is also looked at after the engine's work. */
static char* g_title;

static void report_title(const char* title) {
  if (!title) title = "";
  if (g_title && strcmp(g_title, title) == 0) return;
  free(g_title);
  g_title = strdup(title);
  if (g_host.title) g_host.title(g_host.self, title);
}

static void window_set_title(struct gui_window* gw, const char* title) { report_title(title); }

static void poll_title(void) {
  if (g_bw && g_title) report_title(browser_window_get_title(g_bw));
}

static void window_set_pointer(struct gui_window* gw, enum gui_pointer_shape shape) {
  static int last = -1;
  int kind = shape == GUI_POINTER_POINT ? 2 : shape == GUI_POINTER_CARET ? 3 : 0;
  if (kind == last) return;
  last = kind;
  if (g_host.pointer) g_host.pointer(g_host.self, kind);
}

static void window_console_log(struct gui_window* gw, browser_window_console_source src, const char* msg,
                               size_t msglen, browser_window_console_flags flags) {
  if (g_host.console) g_host.console(g_host.self, msg, msglen);
}

static struct gui_window_table window_table = {
    .create = window_create,
    .destroy = window_destroy,
    .invalidate = window_invalidate,
    .get_scroll = window_get_scroll,
    .set_scroll = window_set_scroll,
    .get_dimensions = window_get_dimensions,
    .event = window_event,
    .set_title = window_set_title,
    .set_pointer = window_set_pointer,
    .console_log = window_console_log,
};

/* ------------------------------------------------------------------ resources */

static const char* fetch_filetype(const char* path) {
  const char* dot = strrchr(path, '.');
  if (dot && _stricmp(dot, ".css") == 0) return "text/css";
  if (dot && _stricmp(dot, ".png") == 0) return "image/png";
  if (dot && _stricmp(dot, ".js") == 0) return "application/javascript";
  return "text/html";
}

/* The engine's stylesheets are built into libcef.dll by name ("default.css", ...). */
static nserror fetch_get_resource_data(const char* path, const uint8_t** data, size_t* length) {
  HMODULE module = NULL;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     (LPCWSTR)&fetch_get_resource_data, &module);
  WCHAR name[64];
  int i = 0;
  for (; path[i] && i < 63; i++) name[i] = (WCHAR)toupper((unsigned char)path[i]);
  name[i] = 0;
  HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(PAGE_ENGINE_RESOURCE_TYPE));
  HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
  if (!loaded) return NSERROR_NOT_FOUND;
  *data = LockResource(loaded);
  *length = SizeofResource(module, found);
  return NSERROR_OK;
}

static nserror fetch_release_resource_data(const uint8_t* data) { return NSERROR_OK; }

static struct gui_fetch_table fetch_table = {
    .filetype = fetch_filetype,
    .get_resource_data = fetch_get_resource_data,
    .release_resource_data = fetch_release_resource_data,
};

/* ------------------------------------------------------------------ http and https */

struct host_fetch {
  struct host_fetch *r_next, *r_prev;
  struct fetch* parent;
  unsigned id;
  nsurl* url;
  bool started, answered, aborted, locked;
  int error;
  char* error_text;
  int status;
  char* headers;
  char* body;
  size_t length;
};
static struct host_fetch* g_fetches;
static unsigned g_next_fetch_id = 1;

static bool host_fetch_initialise(lwc_string* scheme) { return true; }
static void host_fetch_finalise(lwc_string* scheme) {}
static bool host_fetch_acceptable(const nsurl* url) { return true; }

static void* host_fetch_setup(struct fetch* parent, nsurl* url, bool only_2xx, bool downgrade_tls,
                              const char* post_urlenc, const struct fetch_multipart_data* post_multipart,
                              const char** headers) {
  struct host_fetch* f = calloc(1, sizeof(*f));
  if (!f) return NULL;
  f->parent = parent;
  f->url = nsurl_ref(url);
  f->id = g_next_fetch_id++;
  RING_INSERT(g_fetches, f);
  return f;
}

static bool host_fetch_start(void* p) {
  struct host_fetch* f = p;
  f->started = true;
  if (g_host.fetch) g_host.fetch(g_host.self, f->id, nsurl_access(f->url));
  return true;
}

static void host_fetch_abort(void* p) { ((struct host_fetch*)p)->aborted = true; }

static void host_fetch_free(void* p) {
  struct host_fetch* f = p;
  nsurl_unref(f->url);
  free(f->error_text);
  free(f->headers);
  free(f->body);
  free(f);
}

static void host_fetch_send(struct host_fetch* f, const fetch_msg* msg) {
  f->locked = true;
  fetch_send_callback(msg, f->parent);
  f->locked = false;
}

static void host_fetch_header(struct host_fetch* f, const char* line, size_t length) {
  fetch_msg msg = {.type = FETCH_HEADER};
  msg.data.header_or_data.buf = (const uint8_t*)line;
  msg.data.header_or_data.len = length;
  host_fetch_send(f, &msg);
}

static char* copy_text(const char* text, size_t length) {
  char* copy = malloc(length + 1);
  if (!copy) return NULL;
  if (length) memcpy(copy, text, length);
  copy[length] = 0;
  return copy;
}

/* The value of header `name` in "Name: value\r\n" lines, or NULL; the caller frees it. */
static char* header_value(const char* headers, const char* name) {
  size_t n = strlen(name);
  for (const char* line = headers; line && *line;) {
    size_t length = strcspn(line, "\r\n");
    if (length > n && _strnicmp(line, name, n) == 0 && line[n] == ':') {
      const char* value = line + n + 1;
      while (*value == ' ' || *value == '\t') value++;
      return copy_text(value, (size_t)(line + length - value));
    }
    line += length;
    line += strspn(line, "\r\n");
  }
  return NULL;
}

/* Answers the fetches whose responses arrived, and ends the aborted ones. */
static void host_fetch_poll(lwc_string* scheme) {
  struct host_fetch *f, *keep = NULL;
  while (g_fetches) {
    f = g_fetches;
    RING_REMOVE(g_fetches, f);
    if (f->locked || (!f->answered && !f->aborted)) {
      RING_INSERT(keep, f);
      continue;
    }
    if (!f->aborted) {
      fetch_msg msg;
      if (f->error) {
        msg.type = FETCH_ERROR;
        msg.data.error = f->error_text ? f->error_text : "fetch failed";
        host_fetch_send(f, &msg);
      } else {
        char* location = f->status >= 300 && f->status < 400 && f->status != 304 ? header_value(f->headers, "Location")
                                                                                  : NULL;
        if (location) {
          /* The fetch is not followed over there: the engine follows it with a new one. */
          fetch_set_http_code(f->parent, f->status);
          msg.type = FETCH_REDIRECT;
          msg.data.redirect = location;
          host_fetch_send(f, &msg);
          free(location);
        } else {
          fetch_set_http_code(f->parent, f->status);
          /* The response's own header lines, as the engine's cache and content types need them. */
          for (const char* line = f->headers; line && *line && !f->aborted;) {
            size_t n = strcspn(line, "\r\n");
            if (n) host_fetch_header(f, line, n);
            line += n;
            line += strspn(line, "\r\n");
          }
          if (!f->aborted && f->length) {
            msg.type = FETCH_DATA;
            msg.data.header_or_data.buf = (const uint8_t*)f->body;
            msg.data.header_or_data.len = f->length;
            host_fetch_send(f, &msg);
          }
          if (!f->aborted) {
            msg.type = FETCH_FINISHED;
            host_fetch_send(f, &msg);
          }
        }
      }
    }
    fetch_remove_from_queues(f->parent);
    fetch_free(f->parent);
  }
  g_fetches = keep;
}


void page_engine_fetch_done(unsigned id, int error, const char* error_text, int status, const char* headers,
                            const char* body, size_t length) {
  struct host_fetch* f = g_fetches;
  if (!f) return;
  do {
    if (f->id == id && !f->answered) {
      f->answered = true;
      f->error = error;
      f->error_text = error_text ? copy_text(error_text, strlen(error_text)) : NULL;
      f->status = status;
      f->headers = headers ? copy_text(headers, strlen(headers)) : NULL;
      f->body = copy_text(body ? body : "", body ? length : 0);
      f->length = f->body ? length : 0;
      if (!f->body) {
        f->error = 1;
      }
      return;
    }
    f = f->r_next;
  } while (f != g_fetches);
}

static nserror register_host_fetcher(const char* scheme_name) {
  static const struct fetcher_operation_table ops = {
      .initialise = host_fetch_initialise,
      .acceptable = host_fetch_acceptable,
      .setup = host_fetch_setup,
      .start = host_fetch_start,
      .abort = host_fetch_abort,
      .free = host_fetch_free,
      .poll = host_fetch_poll,
      .finalise = host_fetch_finalise,
  };
  lwc_string* scheme;
  if (lwc_intern_string(scheme_name, strlen(scheme_name), &scheme) != lwc_error_ok) return NSERROR_NOMEM;
  return fetcher_add(scheme, &ops);
}

/* ------------------------------------------------------------------ links and input */

static bool same_window(const char* target) {
  return target == NULL || *target == 0 || _stricmp(target, "_self") == 0 || _stricmp(target, "_top") == 0 ||
         _stricmp(target, "_parent") == 0;
}

/* Followed links go to the host, which asks the program first and loads them itself; a link to
 * a place in the same page only scrolls, here. */
static bool link_hook(struct browser_window* bw, nsurl* url, const char* target) {
  if (same_window(target)) {
    nsurl* current = browser_window_access_url(bw);
    if (current && nsurl_has_component(url, NSURL_FRAGMENT) &&
        nsurl_compare(url, current, NSURL_COMPLETE & ~NSURL_FRAGMENT)) {
      if (g_host.address) g_host.address(g_host.self, nsurl_access(url));
      return false;
    }
  }
  if (g_host.navigate) g_host.navigate(g_host.self, nsurl_access(url), same_window(target) ? "" : target);
  return true;
}

void page_engine_mouse_button(int x, int y, int button, int up) {
  if (!g_bw || !g_gw) return;
  /* The right button only asks for the context menu: the engine takes its click for a followed link. */
  if (button != 2) {
    browser_mouse_state state = up ? (button == 0 ? BROWSER_MOUSE_CLICK_1 : BROWSER_MOUSE_CLICK_2)
                                   : (button == 0 ? BROWSER_MOUSE_PRESS_1 : BROWSER_MOUSE_PRESS_2);
    browser_window_mouse_click(g_bw, state, x + g_gw->scroll_x, y + g_gw->scroll_y);
  } else if (up && g_host.context_menu) {
    struct browser_window_features features;
    memset(&features, 0, sizeof(features));
    browser_window_get_features(g_bw, x + g_gw->scroll_x, y + g_gw->scroll_y, &features);
    nsurl* page = browser_window_access_url(g_bw);
    g_host.context_menu(g_host.self, x, y, features.link ? nsurl_access(features.link) : "",
                        page ? nsurl_access(page) : "");
  }
}

void page_engine_mouse_move(int x, int y) {
  if (!g_bw || !g_gw) return;
  browser_window_mouse_track(g_bw, 0, x + g_gw->scroll_x, y + g_gw->scroll_y);
}

static bool g_focused = true;
static unsigned int g_high_surrogate;

/* Characters go to the caret's field; keys that type nothing (arrows, Delete, Home, End) as the
 * engine's own key codes. */
void page_engine_key(int type, int key_code, unsigned int character) {
  if (!g_bw || !g_focused) return;
  if (type == 3) {
    uint32_t code = character;
    if (code >= 0xD800 && code < 0xDC00) {
      g_high_surrogate = code;
      return;
    }
    if (code >= 0xDC00 && code < 0xE000 && g_high_surrogate) code = 0x10000 + ((g_high_surrogate - 0xD800) << 10) + (code - 0xDC00);
    g_high_surrogate = 0;
    browser_window_key_press(g_bw, code);
    return;
  }
  if (type != 0 && type != 1) return;
  static const struct { int vk; uint32_t key; } keys[] = {
      {VK_LEFT, NS_KEY_LEFT}, {VK_RIGHT, NS_KEY_RIGHT}, {VK_UP, NS_KEY_UP}, {VK_DOWN, NS_KEY_DOWN},
      {VK_DELETE, NS_KEY_DELETE_RIGHT}, {VK_HOME, NS_KEY_LINE_START}, {VK_END, NS_KEY_LINE_END},
      {VK_PRIOR, NS_KEY_PAGE_UP}, {VK_NEXT, NS_KEY_PAGE_DOWN},
  };
  for (size_t i = 0; i < sizeof(keys) / sizeof(keys[0]); i++)
    if (keys[i].vk == key_code) browser_window_key_press(g_bw, keys[i].key);
}

void page_engine_focus(int focused) { g_focused = focused != 0; }

static int clamp_scroll(int value, int extent, int view) {
  int most = extent > view ? extent - view : 0;
  return value < 0 ? 0 : value > most ? most : value;
}

/* A scrolling box under the pointer scrolls first; otherwise the view does, within the page. */
void page_engine_mouse_wheel(int x, int y, int delta_x, int delta_y) {
  if (!g_bw || !g_gw) return;
  if (browser_window_scroll_at_point(g_bw, x + g_gw->scroll_x, y + g_gw->scroll_y, -delta_x, -delta_y)) return;
  int width = 0, height = 0;
  if (browser_window_get_extents(g_bw, false, &width, &height) != NSERROR_OK) return;
  g_gw->scroll_x = clamp_scroll(g_gw->scroll_x - delta_x, width, g_width);
  g_gw->scroll_y = clamp_scroll(g_gw->scroll_y - delta_y, height, g_height);
  notify_invalidated();
}

/* ------------------------------------------------------------------ start and load */

static void discard_log(void* context, nslog_entry_context_t* ctx, const char* fmt, va_list args) {}

static nserror set_defaults(struct nsoption_s* defaults) {
  defaults[NSOPTION_enable_javascript].value.b = true;
  return NSERROR_OK;
}

static struct netsurf_table engine_table = {
    .misc = &misc_table,
    .window = &window_table,
    .fetch = &fetch_table,
    .bitmap = &bitmap_table,
    .layout = &layout_table,
};

static int g_started; /* 1 running, -1 failed to start */

/* Extensions: code run first in every script context; its natives call the handler through
 * the hidden global function below (extension index, name, arguments). */
struct extension {
  char* name;
  char* code;
  size_t length;
  cef_runtime_v8_handler* handler;
};
static struct extension* g_extensions;
static size_t g_extension_count;
static const char kNativeBridge[] = "__dvNative";

int page_engine_add_extension(const char* name, const char* code, size_t length, cef_runtime_v8_handler* handler) {
  struct extension* grown = realloc(g_extensions, (g_extension_count + 1) * sizeof(*grown));
  if (!grown) return 0;
  g_extensions = grown;
  struct extension* e = &g_extensions[g_extension_count];
  e->name = strdup(name);
  e->code = malloc(length + 1);
  if (!e->name || !e->code) {
    free(e->name);
    free(e->code);
    return 0;
  }
  memcpy(e->code, code, length);
  e->code[length] = '\0';
  e->length = length;
  e->handler = handler;
  if (handler && handler->add_ref) handler->add_ref(handler->self);
  g_extension_count++;
  return 1;
}

static void to_value(duk_context* ctx, duk_idx_t index, cef_runtime_v8_value* value) {
  memset(value, 0, sizeof(*value));
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NULL:
      value->type = CEF_RUNTIME_V8_NULL;
      break;
    case DUK_TYPE_BOOLEAN:
      value->type = CEF_RUNTIME_V8_BOOL;
      value->int_value = duk_get_boolean(ctx, index) ? 1 : 0;
      break;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx, index);
      /* Whole numbers in range are ints, as the script engines of browsers give them; -0 stays a double. */
      if (d >= -2147483648.0 && d <= 2147483647.0 && d == (double)(int)d && !(d == 0 && signbit(d))) {
        value->type = CEF_RUNTIME_V8_INT;
        value->int_value = (int)d;
      } else {
        value->type = CEF_RUNTIME_V8_DOUBLE;
        value->double_value = d;
      }
      break;
    }
    case DUK_TYPE_STRING: {
      duk_size_t length;
      const char* text = duk_get_lstring(ctx, index, &length);
      int count = 0;
      value->type = CEF_RUNTIME_V8_STRING;
      value->string_value = widen(text, length, &count);
      value->string_length = value->string_value ? (size_t)count : 0;
      break;
    }
    default:
      /* Objects and functions do not cross. */
      value->type = CEF_RUNTIME_V8_UNDEFINED;
      break;
  }
}

static char* narrow(const wchar_t* text, size_t length, size_t* out_length) {
  int n = length ? WideCharToMultiByte(CP_UTF8, 0, text, (int)length, NULL, 0, NULL, NULL) : 0;
  char* out = malloc((size_t)n + 1);
  if (!out) return NULL;
  if (n) WideCharToMultiByte(CP_UTF8, 0, text, (int)length, out, n, NULL, NULL);
  out[n] = '\0';
  *out_length = (size_t)n;
  return out;
}

static duk_ret_t extension_native(duk_context* ctx) {
  duk_uint_t index = duk_to_uint(ctx, 0);
  const char* name = duk_to_string(ctx, 1);
  if (index >= g_extension_count || !g_extensions[index].handler) return 0;
  cef_runtime_v8_handler* handler = g_extensions[index].handler;
  duk_size_t count = duk_is_object(ctx, 2) ? duk_get_length(ctx, 2) : 0;
  cef_runtime_v8_value* arguments = calloc(count ? count : 1, sizeof(*arguments));
  int name_count = 0;
  WCHAR* wide_name = widen(name, strlen(name), &name_count);
  if (!arguments || !wide_name) {
    free(arguments);
    free(wide_name);
    return DUK_RET_ERROR;
  }
  for (duk_size_t i = 0; i < count; ++i) {
    duk_get_prop_index(ctx, 2, (duk_uarridx_t)i);
    to_value(ctx, -1, &arguments[i]);
    duk_pop(ctx);
  }
  cef_runtime_v8_value result;
  memset(&result, 0, sizeof(result));
  const wchar_t* exception = NULL;
  int handled = handler->execute(handler->self, wide_name, arguments, count, &result, &exception);
  for (duk_size_t i = 0; i < count; ++i) free((void*)arguments[i].string_value);
  free(arguments);
  free(wide_name);
  if (handled && exception) {
    size_t length;
    char* text = narrow(exception, wcslen(exception), &length);
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", text ? text : "");
    free(text);
    return duk_throw(ctx);
  }
  if (!handled) return 0;
  switch (result.type) {
    case CEF_RUNTIME_V8_NULL: duk_push_null(ctx); break;
    case CEF_RUNTIME_V8_BOOL: duk_push_boolean(ctx, result.int_value != 0); break;
    case CEF_RUNTIME_V8_INT: duk_push_int(ctx, result.int_value); break;
    case CEF_RUNTIME_V8_DOUBLE: duk_push_number(ctx, result.double_value); break;
    case CEF_RUNTIME_V8_STRING: {
      size_t length;
      char* text = narrow(result.string_value, result.string_length, &length);
      duk_push_lstring(ctx, text ? text : "", text ? length : 0);
      free(text);
      break;
    }
    default: duk_push_undefined(ctx); break;
  }
  return 1;
}

/* alert, confirm and prompt ask the host, which answers before they return. */
static duk_ret_t page_dialog(duk_context* ctx) {
  int type = duk_get_current_magic(ctx);
  const char* message = duk_get_top(ctx) > 0 && !duk_is_undefined(ctx, 0) ? duk_safe_to_string(ctx, 0) : "";
  const char* default_text = duk_get_top(ctx) > 1 && !duk_is_undefined(ctx, 1) ? duk_safe_to_string(ctx, 1) : "";
  nsurl* page = g_bw ? browser_window_access_url(g_bw) : NULL;
  char* answer = NULL;
  int accepted = g_host.dialog ? g_host.dialog(g_host.self, type, page ? nsurl_access(page) : "", message,
                                               default_text, &answer)
                               : 0;
  if (type == 1) {
    duk_push_boolean(ctx, accepted != 0);
  } else if (type == 2 && accepted) {
    duk_push_string(ctx, answer ? answer : "");
  } else if (type == 2) {
    duk_push_null(ctx);
  } else {
    duk_push_undefined(ctx);
  }
  free(answer);
  return 1;
}

static duk_ret_t install_bridge(duk_context* ctx, void* unused) {
  duk_push_global_object(ctx);
  duk_push_string(ctx, kNativeBridge);
  duk_push_c_function(ctx, extension_native, 3);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE | DUK_DEFPROP_HAVE_ENUMERABLE |
                             DUK_DEFPROP_HAVE_CONFIGURABLE);
  duk_pop(ctx);
  return 0;
}

/* The window's own alert, confirm and prompt (methods of its prototype that cannot be assigned
 * over) are shadowed on the global object. */
static duk_ret_t install_dialogs(duk_context* ctx, void* unused) {
  static const char* const dialogs[] = {"alert", "confirm", "prompt"};
  duk_push_global_object(ctx);
  for (int i = 0; i < 3; ++i) {
    duk_push_string(ctx, dialogs[i]);
    duk_push_c_function(ctx, page_dialog, DUK_VARARGS);
    duk_set_magic(ctx, -1, i);
    duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
  }
  duk_pop(ctx);
  return 0;
}

/* A new script context: the page's dialogs, the bridge to the natives, then every extension's code.
 * Nothing here may throw: the engine calls it outside a protected call. */
static void run_extensions(void* p) {
  duk_context* ctx = p;
  duk_safe_call(ctx, install_dialogs, NULL, 0, 1);
  duk_pop(ctx);
  if (!g_extension_count) return;
  duk_safe_call(ctx, install_bridge, NULL, 0, 1);
  duk_pop(ctx);
  for (size_t i = 0; i < g_extension_count; ++i) {
    duk_push_string(ctx, g_extensions[i].name);
    if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_EVAL, g_extensions[i].code, g_extensions[i].length) != 0) {
      const char* error = duk_safe_to_string(ctx, -1);
      if (g_host.console) g_host.console(g_host.self, error, strlen(error));
      duk_pop(ctx);
      continue;
    }
    if (dukky_pcall(ctx, 0, true) != 0) {
      const char* error = duk_safe_to_string(ctx, -1);
      if (g_host.console) g_host.console(g_host.self, error, strlen(error));
    }
    duk_pop(ctx);
  }
}

int page_engine_start(const page_engine_host* host) {
  if (g_started) return g_started > 0;
  g_started = -1;
  g_host = *host;
  g_measure_dc = CreateCompatibleDC(NULL);
  nslog_set_render_callback(discard_log, NULL);
  nslog_uncork();
  if (netsurf_register(&engine_table) != NSERROR_OK) return 0;
  if (nsoption_init(set_defaults, &nsoptions, &nsoptions_default) != NSERROR_OK) return 0;
  browser_set_dpi(96);
  browser_window_link_hook = link_hook;
  js_thread_created_hook = run_extensions;
  /* Nothing here shows a page's icon: none is fetched. */
  browser_window_favicons = false;
  if (netsurf_init(NULL) != NSERROR_OK) return 0;
  if (register_host_fetcher("http") != NSERROR_OK || register_host_fetcher("https") != NSERROR_OK) return 0;
  g_started = 1;
  return 1;
}

int page_engine_load(const char* url) {
  nsurl* address;
  nserror error;
  if (g_started <= 0 || nsurl_create(url, &address) != NSERROR_OK) return 0;
  if (!g_bw)
    error = browser_window_create(BW_CREATE_HISTORY, address, NULL, NULL, &g_bw);
  else
    error = browser_window_navigate(g_bw, address, NULL, BW_NAVIGATE_HISTORY, NULL, NULL, NULL);
  nsurl_unref(address);
  return error == NSERROR_OK;
}
