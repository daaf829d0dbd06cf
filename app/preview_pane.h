// SPDX-License-Identifier: MIT
#pragma once

// The preview beside the window's controls: the picture of the selected row
// in picIn and its bevelled result in picOut, following the selection and
// the three parameter boxes. A click on either box opens it at full size.

#include "preview_worker.h"

#include <QFrame>
#include <QImage>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QItemSelectionModel;
class QLineEdit;

namespace tollamere {

class InputListModel;
class ZoomView;

// A picture box of the preview: a thumbnail centred in the box, or a text
// (why there is no picture) in its place.
class PreviewBox final : public QFrame {
    Q_OBJECT

public:
    explicit PreviewBox(QWidget* parent = nullptr);

    void ShowPicture(const QImage& thumbnail);
    // The full-size picture behind the thumbnail: with one much larger than
    // the box, the pointer shows a 1:1 detail of it (a loupe), so a bevel of
    // a few pixels can be judged in place.
    void SetDetailSource(const QImage& full);
    void ShowText(const QString& text);
    void Clear();

    const QImage& Thumbnail() const { return thumbnail_; }
    const QString& Text() const { return text_; }
    // The thumbnails' size limit, in device pixels.
    QSize BoxSize() const;

signals:
    void Clicked();
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect ThumbnailRect() const;
    void PaintLoupe(QPainter& painter, const QRect& shown);

    QImage thumbnail_;
    QImage detailSource_;
    std::optional<QPoint> pointer_;
    QString text_;
    bool pressed_ = false;
};

// What the preview follows: the window's list and its parameter boxes.
struct PreviewInputs {
    const QItemSelectionModel* selection = nullptr;
    const InputListModel* rows = nullptr;
    const QLineEdit* bevelSize = nullptr;
    const QLineEdit* lightAngle = nullptr;
    const QLineEdit* lightElevation = nullptr;
    // Why the boxes cannot be used, said as the boxes say it; empty when they can.
    std::function<QString()> parameterProblem;
};

class PreviewPane final : public QObject {
    Q_OBJECT

public:
    // The boxes are children of the window, hidden until the pane is shown;
    // the window places them.
    PreviewPane(PreviewInputs inputs, QWidget* window);
    ~PreviewPane() override;

    PreviewBox* InputBox() const { return picIn_; }
    PreviewBox* OutputBox() const { return picOut_; }

    bool IsShown() const { return shown_; }
    // While hidden, the preview does no work and keeps no picture.
    void SetShown(bool shown);

    // The selection or the list changed: a new subject is read afresh.
    void FollowSelection();
    // A parameter changed: the effect runs again on the kept picture.
    void FollowParameters();
    // The look changed: the same.
    void SetLook(const BevelLook& look);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPersistentModelIndex SelectedRow() const;
    void CloseZooms();
    void Request();
    void ForgetSubject();
    void ShowSource(const PreviewSourceShown& shown);
    void ShowResult(const PreviewResultShown& shown);
    void OpenZoom(QPointer<ZoomView>& view, const QImage& picture, const QString& caption);
    QString SubjectName() const;

    const PreviewInputs inputs_;
    BevelLook look_;
    QWidget* const window_;
    PreviewBox* picIn_ = nullptr;
    PreviewBox* picOut_ = nullptr;
    QPointer<ZoomView> inputZoom_;
    QPointer<ZoomView> outputZoom_;

    bool shown_ = false;
    bool hasSubject_ = false;
    QPersistentModelIndex subject_;
    std::uint64_t source_ = 0;
    std::uint64_t generation_ = 0;
    // The full-size pictures behind the thumbnails, for the zoom views.
    QImage inputPicture_;
    QImage outputPicture_;

    std::unique_ptr<PreviewWorker> worker_;
    // A pane that grew or shrank gets thumbnails of its new size, once the
    // resizing has settled.
    QTimer resized_;
};

} // namespace tollamere
