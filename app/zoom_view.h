// SPDX-License-Identifier: MIT
#pragma once

// A preview picture at full size in a window of its own, so that a bevel of
// a few pixels can be judged on a large photo: zoom to fit, 1:1, 2:1 or 4:1,
// with enlarged pixels shown as sharp blocks; pan with the scroll bars or by
// dragging the picture.

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QLabel;
class QScrollArea;

namespace tollamere {

// The picture drawn at a scale, one size with it; or a text in its place.
class ZoomCanvas final : public QWidget {
    Q_OBJECT

public:
    explicit ZoomCanvas(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    void SetText(const QString& text);
    // Resizes the canvas to the picture at this scale.
    void SetScale(double scale);

    const QImage& Picture() const { return picture_; }
    const QString& Text() const { return text_; }
    double Scale() const { return scale_; }

signals:
    // The pointer dragged the picture this far, in screen pixels.
    void Dragged(QPoint distance);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QString text_;
    double scale_ = 1.0;
    // The picture reduced to the canvas, made once per size: a smooth
    // reduction of a large photo is too slow for every paint.
    QImage reduced_;
    bool dragging_ = false;
    QPoint lastDragPosition_;
};

class ZoomView final : public QDialog {
    Q_OBJECT

public:
    enum class Zoom { Fit, OneToOne, TwoToOne, FourToOne };

    explicit ZoomView(QWidget* parent = nullptr);

    // Keeps the zoom, and the part in view while the picture's size stays.
    void ShowPicture(const QImage& picture, const QString& caption);
    void ShowText(const QString& text, const QString& caption);
    // Sizes the window to the picture at its zoom, as far as the screen allows.
    void FitScreen();

    void SetZoom(Zoom zoom);
    Zoom CurrentZoom() const { return zoom_; }
    ZoomCanvas& Canvas() const { return *canvas_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double ScaleFor(Zoom zoom) const;
    void ApplyScale();
    void ShowCaption(const QString& caption);
    void ShowSizeText();

    QScrollArea* scroll_ = nullptr;
    ZoomCanvas* canvas_ = nullptr;
    QButtonGroup* choices_ = nullptr;
    QLabel* sizeText_ = nullptr;
    Zoom zoom_ = Zoom::OneToOne;
};

} // namespace tollamere
