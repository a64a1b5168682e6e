/* The render process's page engine: NetSurf laid out and painted with GDI. Plain C so that the
 * engine's own C headers stay on their side; every call is made on the render process's engine
 * thread. */
#ifndef DOREVEZI_PAGE_ENGINE_H
#define DOREVEZI_PAGE_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the engine asks of the render process. */
typedef struct page_engine_host {
  void* self;
  /* Starts fetching `url` (http or https) elsewhere; the answer comes back through
   * page_engine_fetch_done with the same id. */
  void (*fetch)(void* self, unsigned id, const char* url);
  /* The page looks different now: a new frame is due. */
  void (*invalidated)(void* self);
  /* A followed link (UTF-8) the host navigates itself; `target` is its window name, "" for this
   * one. */
  void (*navigate)(void* self, const char* url, const char* target);
  /* The address changed without a load (a link to a place in the same page). */
  void (*address)(void* self, const char* url);
  void (*title)(void* self, const char* title);
  /* The pointer's shape: 0 arrow, 2 hand (links), 3 text beam. */
  void (*pointer)(void* self, int shape);
  /* The engine started (1) or finished (0) loading a page, its resources included. */
  void (*busy)(void* self, int busy);
  /* The page's console output (UTF-8, not terminated). */
  void (*console)(void* self, const char* message, size_t length);
  /* A right click at (x, y) of the view, over `link` ("" for none) on the page at `page`. */
  void (*context_menu)(void* self, int x, int y, const char* link, const char* page);
  /* A page's dialog (0 alert, 1 confirm, 2 prompt), answered before it returns: whether it was
   * accepted, and for a prompt its text (malloc'd, the engine frees it). */
  int (*dialog)(void* self, int type, const char* page, const char* message, const char* default_text,
                char** answer);
} page_engine_host;

/* Starts the engine once a process; 0 when it could not start. */
int page_engine_start(const page_engine_host* host);

/* Shows `url` (UTF-8) in the one browser window of this process; 0 when the engine cannot. */
int page_engine_load(const char* url);

/* A fetch's answer: `error` 0 and the response (its header lines "Name: value\r\n" each), or a
 * network error and its text. */
void page_engine_fetch_done(unsigned id, int error, const char* error_text, int status, const char* headers,
                            const char* body, size_t length);

/* Lays the page out for a view of width x height and paints it into `pixels` (premultiplied
 * BGRA, top-down rows, alpha 255 where painted). */
void page_engine_paint(uint32_t* pixels, int width, int height);

/* Mouse input in view coordinates: a button (0 left, 1 middle, 2 right) pressed or released, or
 * a move. */
void page_engine_mouse_button(int x, int y, int button, int up);
void page_engine_mouse_move(int x, int y);
/* A key event (0 raw key down, 1 key down, 2 key up, 3 character) with its Windows key code or
 * UTF-16 character, and the view's focus. */
void page_engine_key(int type, int key_code, unsigned int character);
void page_engine_focus(int focused);
/* The wheel at (x, y): positive deltas scroll up (left). */
void page_engine_mouse_wheel(int x, int y, int delta_x, int delta_y);

/* Code (UTF-8, its natives already bound to the bridge) run first in every script context; the
 * handler takes one reference. Before the first load. */
struct cef_runtime_v8_handler;
int page_engine_add_extension(const char* name, const char* code, size_t length,
                              struct cef_runtime_v8_handler* handler);

/* Runs the engine's due work; returns the milliseconds until more is due, or -1 for none. */
int page_engine_run_due(void);

#ifdef __cplusplus
}
#endif

#endif
