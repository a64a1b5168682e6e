#pragma once

#include <windows.h>

#include <cstdint>

#include "base/weak_callback.h"
#include "ui/core/geometry.h"
#include "ui/render/bitmap.h"

namespace ui {

// Drawing tools that a control keeps across paints. Caps, joins, dash styles and fill
// modes are GDI+'s enumeration values, passed through unchanged.
class IPen : public base::SupportWeakCallback {
 public:
  explicit IPen(ArgbColor color) : color_(color) {}
  ~IPen() override = default;
  virtual IPen* Clone() = 0;
  virtual void SetWidth(int width) = 0;
  virtual int Width() = 0;
  virtual void SetColor(ArgbColor color) = 0;
  virtual ArgbColor Color() const { return color_; }
  virtual void SetStartCap(int cap) = 0;
  virtual void SetEndCap(int cap) = 0;
  virtual void SetDashCap(int cap) = 0;
  virtual int StartCap() = 0;
  virtual int EndCap() = 0;
  virtual int DashCap() = 0;
  virtual void SetLineJoin(int join) = 0;
  virtual int LineJoin() = 0;
  virtual void SetDashStyle(int style) = 0;
  virtual int DashStyle() = 0;

 protected:
  ArgbColor color_;
};

class IBrush : public base::SupportWeakCallback {
 public:
  explicit IBrush(ArgbColor color) : color_(color) {}
  ~IBrush() override { delete bitmap_; }
  virtual IBrush* Clone() = 0;
  virtual ArgbColor Color() const { return color_; }
  virtual IBitmap* Bitmap() const { return bitmap_; }

 protected:
  ArgbColor color_;
  IBitmap* bitmap_ = nullptr;
};

class IMatrix;

// Integer coordinates in pixels, angles in degrees.
class IPath : public base::SupportWeakCallback {
 public:
  ~IPath() override = default;
  virtual IPath* Clone() = 0;
  virtual void Reset() = 0;
  virtual void SetFillMode(int mode) = 0;
  virtual int FillMode() = 0;
  virtual void StartFigure() = 0;
  virtual void CloseFigure() = 0;
  virtual void AddLine(int x1, int y1, int x2, int y2) = 0;
  virtual void AddLines(const Point* points, int count) = 0;
  virtual void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  virtual void AddCurve(const Point* points, int count) = 0;
  virtual void AddRectangle(const Rect& rect) = 0;
  virtual void AddRectangleEdges(int left, int top, int right, int bottom) = 0;
  virtual void AddEllipse(const Rect& rect) = 0;
  virtual void AddEllipseEdges(int left, int top, int right, int bottom) = 0;
  virtual void AddArc(int x, int y, int width, int height, float startAngle, float sweepAngle) = 0;
  virtual void AddPie(int x, int y, int width, int height, float startAngle, float sweepAngle) = 0;
  virtual void AddPolygon(const Point* points, int count) = 0;
  // Bounds of the outline, widened by the pen when one is given.
  virtual Rect Bounds(const IPen* pen) = 0;
  virtual bool ContainsPoint(int x, int y) = 0;
  virtual bool OutlineContainsPoint(int x, int y, const IPen* pen) = 0;
  virtual void Transform(const IMatrix* matrix) = 0;
};

// Every operation is prepended: the last one given applies to a point first.
class IMatrix : public base::SupportWeakCallback {
 public:
  ~IMatrix() override = default;
  virtual void Translate(int dx, int dy) = 0;
  virtual void Scale(int sx, int sy) = 0;
  virtual void Rotate(float degrees) = 0;
  virtual void RotateAbout(float degrees, const Point& centre) = 0;
};

// Clips a DC to a rectangle given in logical coordinates. Each clip saves the DC state,
// so clips stack and RestoreClip undoes the most recent one.
class IClip : public base::SupportWeakCallback {
 public:
  ~IClip() override = default;
  virtual void SelectRectClip(HDC dc, Rect rect) = 0;
  virtual void SelectRoundRectClip(HDC dc, Rect rect, int cornerWidth, int cornerHeight) = 0;
  virtual void RestoreClip(HDC dc) = 0;
};

}  // namespace ui
