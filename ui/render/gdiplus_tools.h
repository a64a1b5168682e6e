#pragma once

#include "ui/render/drawing_tools.h"
#include "ui/render/gdiplus_api.h"

namespace ui {

// One GDI+ object and the status of the last call on it that failed (0 when none did).
// Failures are kept here for diagnostics and otherwise ignored.
template <typename Handle>
struct GdiplusRecord {
  Handle* handle = nullptr;
  int32_t lastStatus = 0;
  void Keep(Gdiplus::GpStatus status) {
    if (status != Gdiplus::Ok) lastStatus = status;
  }
};

class Pen_GdiPlus : public IPen {
 public:
  Pen_GdiPlus(ArgbColor color, int width);
  ~Pen_GdiPlus() override;
  IPen* Clone() override;
  void SetWidth(int width) override;
  int Width() override;
  void SetColor(ArgbColor color) override;
  void SetStartCap(int cap) override;
  void SetEndCap(int cap) override;
  void SetDashCap(int cap) override;
  int StartCap() override;
  int EndCap() override;
  int DashCap() override;
  void SetLineJoin(int join) override;
  int LineJoin() override;
  void SetDashStyle(int style) override;
  int DashStyle() override;

  Gdiplus::GpPen* NativePen() const { return pen_.handle; }
  int32_t LastStatus() const { return pen_.lastStatus; }

 private:
  explicit Pen_GdiPlus(ArgbColor color) : IPen(color) {}
  GdiplusRecord<Gdiplus::GpPen> pen_;
};

class Brush_Gdiplus : public IBrush {
 public:
  static Brush_Gdiplus* NewSolid(ArgbColor color);
  // The handle stays the caller's: the texture keeps its own copy of the pixels.
  static Brush_Gdiplus* NewTexture(HBITMAP bitmap);
  ~Brush_Gdiplus() override;
  IBrush* Clone() override;

  Gdiplus::GpSolidFill* SolidBrush() const { return solid_.handle; }
  Gdiplus::GpTexture* TextureBrush() const { return texture_.handle; }
  int32_t LastStatus() const { return solid_.lastStatus ? solid_.lastStatus : texture_.lastStatus; }

 private:
  explicit Brush_Gdiplus(ArgbColor color) : IBrush(color) {}
  GdiplusRecord<Gdiplus::GpSolidFill> solid_;
  GdiplusRecord<Gdiplus::GpTexture> texture_;
};

class Path_Gdiplus : public IPath {
 public:
  Path_Gdiplus();
  ~Path_Gdiplus() override;
  IPath* Clone() override;
  void Reset() override;
  void SetFillMode(int mode) override;
  int FillMode() override;
  void StartFigure() override;
  void CloseFigure() override;
  void AddLine(int x1, int y1, int x2, int y2) override;
  void AddLines(const Point* points, int count) override;
  void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override;
  void AddCurve(const Point* points, int count) override;
  void AddRectangle(const Rect& rect) override;
  void AddRectangleEdges(int left, int top, int right, int bottom) override;
  void AddEllipse(const Rect& rect) override;
  void AddEllipseEdges(int left, int top, int right, int bottom) override;
  void AddArc(int x, int y, int width, int height, float startAngle, float sweepAngle) override;
  void AddPie(int x, int y, int width, int height, float startAngle, float sweepAngle) override;
  void AddPolygon(const Point* points, int count) override;
  Rect Bounds(const IPen* pen) override;
  bool ContainsPoint(int x, int y) override;
  bool OutlineContainsPoint(int x, int y, const IPen* pen) override;
  void Transform(const IMatrix* matrix) override;

  Gdiplus::GpPath* NativePath() const { return path_.handle; }
  int32_t LastStatus() const { return path_.lastStatus; }

 private:
  explicit Path_Gdiplus(Gdiplus::GpPath* adopted) { path_.handle = adopted; }
  // Copies the points for GDI+; false (InvalidParameter kept) when there are none.
  bool ToNativePoints(const Point* points, int count, Gdiplus::GpPoint* out);
  GdiplusRecord<Gdiplus::GpPath> path_;
};

class Matrix_Gdiplus : public IMatrix {
 public:
  Matrix_Gdiplus();
  ~Matrix_Gdiplus() override;
  void Translate(int dx, int dy) override;
  void Scale(int sx, int sy) override;
  void Rotate(float degrees) override;
  void RotateAbout(float degrees, const Point& centre) override;

  Gdiplus::GpMatrix* NativeMatrix() const { return matrix_.handle; }
  int32_t LastStatus() const { return matrix_.lastStatus; }

 private:
  GdiplusRecord<Gdiplus::GpMatrix> matrix_;
};

}  // namespace ui
