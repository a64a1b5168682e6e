#include <new>

#include "ui/render/render_factory_gdiplus.h"
#include "ui/resources/runtime_links.h"

// The runtime owns the one GDI+ render factory by its concrete type.
namespace ui {

RenderFactory_GdiPlus* NewRenderFactory() { return new (std::nothrow) RenderFactory_GdiPlus(); }

void DeleteRenderFactory(RenderFactory_GdiPlus* factory) { delete factory; }

IRenderFactory* AsRenderFactory(RenderFactory_GdiPlus* factory) { return factory; }

}  // namespace ui
