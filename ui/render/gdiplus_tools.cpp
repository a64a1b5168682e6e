#include "ui/render/gdiplus_tools.h"

#include <vector>

namespace ui {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

// Pen

Pen_GdiPlus::Pen_GdiPlus(ArgbColor color, int width) : IPen(color) {
  pen_.Keep(GdipCreatePen1(color, static_cast<REAL>(width), UnitWorld, &pen_.handle));
}

Pen_GdiPlus::~Pen_GdiPlus() {
  if (pen_.handle) GdipDeletePen(pen_.handle);
}

IPen* Pen_GdiPlus::Clone() {
  auto* copy = new (std::nothrow) Pen_GdiPlus(color_);
  if (!copy) return nullptr;
  if (pen_.handle) copy->pen_.Keep(GdipClonePen(pen_.handle, &copy->pen_.handle));
  return copy;
}

void Pen_GdiPlus::SetWidth(int width) { pen_.Keep(GdipSetPenWidth(pen_.handle, static_cast<REAL>(width))); }

int Pen_GdiPlus::Width() {
  REAL width = 0;
  GpStatus status = GdipGetPenWidth(pen_.handle, &width);
  pen_.Keep(status);
  return status == Ok ? static_cast<int>(width) : 0;
}

void Pen_GdiPlus::SetColor(ArgbColor color) {
  color_ = color;
  pen_.Keep(GdipSetPenColor(pen_.handle, color));
}

void Pen_GdiPlus::SetStartCap(int cap) { pen_.Keep(GdipSetPenStartCap(pen_.handle, static_cast<LineCap>(cap))); }
void Pen_GdiPlus::SetEndCap(int cap) { pen_.Keep(GdipSetPenEndCap(pen_.handle, static_cast<LineCap>(cap))); }
void Pen_GdiPlus::SetDashCap(int cap) { pen_.Keep(GdipSetPenDashCap197819(pen_.handle, static_cast<GpDashCap>(cap))); }

namespace {
// Runs a GDI+ getter; 0 when it fails.
template <typename Value, typename Getter>
int GetOrZero(GdiplusRecord<GpPen>& pen, Getter getter) {
  Value value{};
  GpStatus status = getter(pen.handle, &value);
  pen.Keep(status);
  return status == Ok ? static_cast<int>(value) : 0;
}
}  // namespace

int Pen_GdiPlus::StartCap() { return GetOrZero<LineCap>(pen_, GdipGetPenStartCap); }
int Pen_GdiPlus::EndCap() { return GetOrZero<LineCap>(pen_, GdipGetPenEndCap); }
int Pen_GdiPlus::DashCap() { return GetOrZero<GpDashCap>(pen_, GdipGetPenDashCap197819); }
void Pen_GdiPlus::SetLineJoin(int join) { pen_.Keep(GdipSetPenLineJoin(pen_.handle, static_cast<Gdiplus::LineJoin>(join))); }
int Pen_GdiPlus::LineJoin() { return GetOrZero<Gdiplus::LineJoin>(pen_, GdipGetPenLineJoin); }
void Pen_GdiPlus::SetDashStyle(int style) { pen_.Keep(GdipSetPenDashStyle(pen_.handle, static_cast<Gdiplus::DashStyle>(style))); }
int Pen_GdiPlus::DashStyle() { return GetOrZero<Gdiplus::DashStyle>(pen_, GdipGetPenDashStyle); }

// Brush

Brush_Gdiplus* Brush_Gdiplus::NewSolid(ArgbColor color) {
  auto* brush = new (std::nothrow) Brush_Gdiplus(color);
  if (brush) brush->solid_.Keep(GdipCreateSolidFill(color, &brush->solid_.handle));
  return brush;
}

Brush_Gdiplus* Brush_Gdiplus::NewTexture(HBITMAP bitmap) {
  auto* brush = new (std::nothrow) Brush_Gdiplus(0);
  if (!brush) return nullptr;
  GpBitmap* image = nullptr;
  GpStatus status = GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
  brush->texture_.Keep(status);
  if (status == Ok && image) {
    brush->texture_.Keep(GdipCreateTexture(image, WrapModeTile, &brush->texture_.handle));
    GdipDisposeImage(image);
  }
  return brush;
}

Brush_Gdiplus::~Brush_Gdiplus() {
  if (solid_.handle) GdipDeleteBrush(solid_.handle);
  if (texture_.handle) GdipDeleteBrush(texture_.handle);
}

IBrush* Brush_Gdiplus::Clone() {
  auto* copy = new (std::nothrow) Brush_Gdiplus(color_);
  if (!copy) return nullptr;
  if (solid_.handle) {
    GpBrush* clone = nullptr;
    copy->solid_.Keep(GdipCloneBrush(solid_.handle, &clone));
    copy->solid_.handle = static_cast<GpSolidFill*>(clone);
  }
  if (texture_.handle) {
    GpBrush* clone = nullptr;
    copy->texture_.Keep(GdipCloneBrush(texture_.handle, &clone));
    copy->texture_.handle = static_cast<GpTexture*>(clone);
  }
  return copy;
}

// Path

Path_Gdiplus::Path_Gdiplus() { path_.Keep(GdipCreatePath(FillModeAlternate, &path_.handle)); }

Path_Gdiplus::~Path_Gdiplus() {
  if (path_.handle) GdipDeletePath(path_.handle);
}

IPath* Path_Gdiplus::Clone() {
  GpPath* clone = nullptr;
  if (path_.handle) path_.Keep(GdipClonePath(path_.handle, &clone));
  return new (std::nothrow) Path_Gdiplus(clone);
}

void Path_Gdiplus::Reset() { path_.Keep(GdipResetPath(path_.handle)); }
void Path_Gdiplus::SetFillMode(int mode) { path_.Keep(GdipSetPathFillMode(path_.handle, static_cast<GpFillMode>(mode))); }

int Path_Gdiplus::FillMode() {
  GpFillMode mode = FillModeAlternate;
  GpStatus status = GdipGetPathFillMode(path_.handle, &mode);
  path_.Keep(status);
  return status == Ok ? static_cast<int>(mode) : 0;
}

void Path_Gdiplus::StartFigure() { path_.Keep(GdipStartPathFigure(path_.handle)); }
void Path_Gdiplus::CloseFigure() { path_.Keep(GdipClosePathFigure(path_.handle)); }
void Path_Gdiplus::AddLine(int x1, int y1, int x2, int y2) { path_.Keep(GdipAddPathLineI(path_.handle, x1, y1, x2, y2)); }

bool Path_Gdiplus::ToNativePoints(const Point* points, int count, GpPoint* out) {
  if (!points || count < 1) {
    path_.Keep(InvalidParameter);
    return false;
  }
  for (int i = 0; i < count; ++i) out[i] = GpPoint(points[i].x, points[i].y);
  return true;
}

void Path_Gdiplus::AddLines(const Point* points, int count) {
  std::vector<GpPoint> native(count > 0 ? count : 0);
  if (ToNativePoints(points, count, native.data())) path_.Keep(GdipAddPathLine2I(path_.handle, native.data(), count));
}

void Path_Gdiplus::AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  path_.Keep(GdipAddPathBezierI(path_.handle, x1, y1, x2, y2, x3, y3, x4, y4));
}

void Path_Gdiplus::AddCurve(const Point* points, int count) {
  std::vector<GpPoint> native(count > 0 ? count : 0);
  if (ToNativePoints(points, count, native.data())) path_.Keep(GdipAddPathCurveI(path_.handle, native.data(), count));
}

void Path_Gdiplus::AddRectangle(const Rect& rect) {
  path_.Keep(GdipAddPathRectangleI(path_.handle, rect.left, rect.top, rect.Width(), rect.Height()));
}

void Path_Gdiplus::AddRectangleEdges(int left, int top, int right, int bottom) {
  AddRectangle(Rect{left, top, right, bottom});
}

void Path_Gdiplus::AddEllipse(const Rect& rect) {
  path_.Keep(GdipAddPathEllipseI(path_.handle, rect.left, rect.top, rect.Width(), rect.Height()));
}

void Path_Gdiplus::AddEllipseEdges(int left, int top, int right, int bottom) {
  AddEllipse(Rect{left, top, right, bottom});
}

void Path_Gdiplus::AddArc(int x, int y, int width, int height, float startAngle, float sweepAngle) {
  path_.Keep(GdipAddPathArcI(path_.handle, x, y, width, height, startAngle, sweepAngle));
}

void Path_Gdiplus::AddPie(int x, int y, int width, int height, float startAngle, float sweepAngle) {
  path_.Keep(GdipAddPathPieI(path_.handle, x, y, width, height, startAngle, sweepAngle));
}

void Path_Gdiplus::AddPolygon(const Point* points, int count) {
  std::vector<GpPoint> native(count > 0 ? count : 0);
  if (ToNativePoints(points, count, native.data())) path_.Keep(GdipAddPathPolygonI(path_.handle, native.data(), count));
}

namespace {
GpPen* NativePenOf(const IPen* pen) {
  return pen ? static_cast<const Pen_GdiPlus*>(pen)->NativePen() : nullptr;
}
}  // namespace

Rect Path_Gdiplus::Bounds(const IPen* pen) {
  GpRect bounds(0, 0, 0, 0);
  GpStatus status = GdipGetPathWorldBoundsI(path_.handle, &bounds, nullptr, NativePenOf(pen));
  path_.Keep(status);
  if (status != Ok) return Rect{};
  return Rect{bounds.X, bounds.Y, bounds.X + bounds.Width, bounds.Y + bounds.Height};
}

bool Path_Gdiplus::ContainsPoint(int x, int y) {
  BOOL inside = FALSE;
  GpStatus status = GdipIsVisiblePathPointI(path_.handle, x, y, nullptr, &inside);
  path_.Keep(status);
  return status == Ok && inside;
}

bool Path_Gdiplus::OutlineContainsPoint(int x, int y, const IPen* pen) {
  BOOL inside = FALSE;
  GpStatus status = GdipIsOutlineVisiblePathPointI(path_.handle, x, y, NativePenOf(pen), nullptr, &inside);
  path_.Keep(status);
  return status == Ok && inside;
}

void Path_Gdiplus::Transform(const IMatrix* matrix) {
  if (!matrix) return;
  path_.Keep(GdipTransformPath(path_.handle, static_cast<const Matrix_Gdiplus*>(matrix)->NativeMatrix()));
}

// Matrix

Matrix_Gdiplus::Matrix_Gdiplus() { matrix_.Keep(GdipCreateMatrix(&matrix_.handle)); }

Matrix_Gdiplus::~Matrix_Gdiplus() {
  if (matrix_.handle) GdipDeleteMatrix(matrix_.handle);
}

void Matrix_Gdiplus::Translate(int dx, int dy) {
  matrix_.Keep(GdipTranslateMatrix(matrix_.handle, static_cast<REAL>(dx), static_cast<REAL>(dy), MatrixOrderPrepend));
}

void Matrix_Gdiplus::Scale(int sx, int sy) {
  matrix_.Keep(GdipScaleMatrix(matrix_.handle, static_cast<REAL>(sx), static_cast<REAL>(sy), MatrixOrderPrepend));
}

void Matrix_Gdiplus::Rotate(float degrees) { matrix_.Keep(GdipRotateMatrix(matrix_.handle, degrees, MatrixOrderPrepend)); }

void Matrix_Gdiplus::RotateAbout(float degrees, const Point& centre) {
  Translate(centre.x, centre.y);
  Rotate(degrees);
  Translate(-centre.x, -centre.y);
}

}  // namespace ui
