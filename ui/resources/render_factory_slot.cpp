#include "ui/resources/runtime_links.h"

// The GDI+ render factory is not part of the framework yet: the slot stays empty and
// GetRenderFactory answers null until it is.
namespace ui {

RenderFactory_GdiPlus* NewRenderFactory() { return nullptr; }

void DeleteRenderFactory(RenderFactory_GdiPlus* /*factory*/) {}

IRenderFactory* AsRenderFactory(RenderFactory_GdiPlus* /*factory*/) { return nullptr; }

}  // namespace ui
