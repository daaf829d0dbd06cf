// SPDX-License-Identifier: MIT
#include "zoom_view.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tollamere {

// ---- ZoomCanvas ------------------------------------------------------------

ZoomCanvas::ZoomCanvas(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ZoomCanvas::SetPicture(const QImage& picture)
{
    picture_ = picture;
    text_.clear();
    reduced_ = QImage();
    setCursor(Qt::OpenHandCursor);
    update();
}

void ZoomCanvas::SetText(const QString& text)
{
    picture_ = QImage();
    text_ = text;
    reduced_ = QImage();
    unsetCursor();
    update();
}

void ZoomCanvas::SetScale(double scale)
{
    scale_ = scale;
    if (!picture_.isNull())
        resize(std::max(1, int(std::lround(picture_.width() * scale))),
               std::max(1, int(std::lround(picture_.height() * scale))));
    update();
}

void ZoomCanvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, palette().window());
    if (picture_.isNull()) {
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, text_);
        return;
    }
    if (scale_ < 1.0) {
        if (reduced_.size() != size())
            reduced_ = picture_.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(exposed.topLeft(), reduced_, exposed);
        return;
    }
    // Only the picture's pixels under the exposed part, each drawn as a block
    // of scale x scale: no smoothing, so a pixel stays a pixel.
    const int left = std::max(0, int(std::floor(exposed.left() / scale_)));
    const int top = std::max(0, int(std::floor(exposed.top() / scale_)));
    const int right = std::min(picture_.width(), int(std::ceil((exposed.right() + 1) / scale_)));
    const int bottom = std::min(picture_.height(), int(std::ceil((exposed.bottom() + 1) / scale_)));
    if (right <= left || bottom <= top)
        return;
    const QRect source(left, top, right - left, bottom - top);
    const QRectF target(left * scale_, top * scale_, source.width() * scale_, source.height() * scale_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, picture_, source);
}

void ZoomCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || picture_.isNull())
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    lastDragPosition_ = event->globalPosition().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void ZoomCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    // Screen positions: the canvas itself moves under the pointer as it pans.
    const QPoint position = event->globalPosition().toPoint();
    const QPoint distance = position - lastDragPosition_;
    lastDragPosition_ = position;
    if (!distance.isNull())
        emit Dragged(distance);
}

void ZoomCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setCursor(picture_.isNull() ? Qt::ArrowCursor : Qt::OpenHandCursor);
}

// ---- ZoomView --------------------------------------------------------------

namespace {

struct ZoomChoice {
    ZoomView::Zoom zoom;
    const char* caption;
    Qt::Key key;
};

constexpr ZoomChoice ZoomChoices[] = {
    {ZoomView::Zoom::Fit, "Fit", Qt::Key_F},
    {ZoomView::Zoom::OneToOne, "1:1", Qt::Key_1},
    {ZoomView::Zoom::TwoToOne, "2:1", Qt::Key_2},
    {ZoomView::Zoom::FourToOne, "4:1", Qt::Key_4},
};

// Room for the zoom buttons, the frame and the scroll bars around the picture.
const QSize Chrome(40, 80);
const QSize SmallestWindow(420, 320);

} // namespace

ZoomView::ZoomView(QWidget* parent) : QDialog(parent)
{
    setModal(false);
    setSizeGripEnabled(true);

    auto* choicesRow = new QHBoxLayout;
    choices_ = new QButtonGroup(this);
    for (const ZoomChoice& choice : ZoomChoices) {
        auto* button = new QToolButton(this);
        button->setText(QLatin1String(choice.caption));
        button->setCheckable(true);
        button->setShortcut(QKeySequence(choice.key));
        button->setToolTip(QStringLiteral("%1 (%2)").arg(QLatin1String(choice.caption),
                                                          QKeySequence(choice.key).toString(QKeySequence::NativeText)));
        choices_->addButton(button, int(choice.zoom));
        choicesRow->addWidget(button);
    }
    choices_->button(int(zoom_))->setChecked(true);
    connect(choices_, &QButtonGroup::idClicked, this, [this](int id) { SetZoom(Zoom(id)); });
    sizeText_ = new QLabel(this);
    choicesRow->addStretch();
    choicesRow->addWidget(sizeText_);

    canvas_ = new ZoomCanvas;
    canvas_->setObjectName(QStringLiteral("zoomCanvas"));
    scroll_ = new QScrollArea(this);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setWidget(canvas_);
    scroll_->viewport()->installEventFilter(this);
    connect(canvas_, &ZoomCanvas::Dragged, this, [this](QPoint distance) {
        scroll_->horizontalScrollBar()->setValue(scroll_->horizontalScrollBar()->value() - distance.x());
        scroll_->verticalScrollBar()->setValue(scroll_->verticalScrollBar()->value() - distance.y());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choicesRow);
    layout->addWidget(scroll_, 1);
}

void ZoomView::ShowPicture(const QImage& picture, const QString& caption)
{
    canvas_->SetPicture(picture);
    ShowCaption(caption);
    ApplyScale();
}

void ZoomView::ShowText(const QString& text, const QString& caption)
{
    canvas_->SetText(text);
    ShowCaption(caption);
    ApplyScale();
}

void ZoomView::FitScreen()
{
    const QScreen* display = screen();
    const QSize available = display != nullptr ? display->availableGeometry().size() * 9 / 10 : QSize(1024, 768);
    const QSize shown = canvas_->Picture().isNull() ? SmallestWindow : canvas_->size() + Chrome;
    resize(shown.boundedTo(available).expandedTo(SmallestWindow));
}

void ZoomView::SetZoom(Zoom zoom)
{
    zoom_ = zoom;
    choices_->button(int(zoom))->setChecked(true);
    ApplyScale();
}

bool ZoomView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize &&
        (zoom_ == Zoom::Fit || canvas_->Picture().isNull()))
        ApplyScale();
    return QDialog::eventFilter(watched, event);
}

double ZoomView::ScaleFor(Zoom zoom) const
{
    switch (zoom) {
    case Zoom::OneToOne: return 1.0;
    case Zoom::TwoToOne: return 2.0;
    case Zoom::FourToOne: return 4.0;
    case Zoom::Fit: break;
    }
    const QImage& picture = canvas_->Picture();
    // The room without scroll bars, which a fitted picture never needs.
    const QSize room = scroll_->contentsRect().size();
    if (picture.isNull() || room.isEmpty())
        return 1.0;
    return std::min(double(room.width()) / picture.width(), double(room.height()) / picture.height());
}

void ZoomView::ApplyScale()
{
    if (canvas_->Picture().isNull()) {
        canvas_->resize(scroll_->viewport()->size());
        ShowSizeText();
        return;
    }
    QScrollBar* across = scroll_->horizontalScrollBar();
    QScrollBar* down = scroll_->verticalScrollBar();
    const QSize view = scroll_->viewport()->size();
    const double oldScale = canvas_->Scale();
    const double newScale = ScaleFor(zoom_);
    // The point of the picture in the middle of the view stays there. The
    // canvas sits at minus the scroll position, or centred when it is smaller.
    const QPointF middle =
        (QPointF(view.width() / 2.0, view.height() / 2.0) - QPointF(canvas_->pos())) / oldScale;
    canvas_->SetScale(newScale);
    across->setValue(int(std::lround(middle.x() * newScale - view.width() / 2.0)));
    down->setValue(int(std::lround(middle.y() * newScale - view.height() / 2.0)));
    ShowSizeText();
}

void ZoomView::ShowCaption(const QString& caption)
{
    setWindowTitle(caption.isEmpty() ? QStringLiteral("Tollamere") : caption + QStringLiteral(" - Tollamere"));
}

void ZoomView::ShowSizeText()
{
    const QImage& picture = canvas_->Picture();
    if (picture.isNull()) {
        sizeText_->clear();
        return;
    }
    sizeText_->setText(QStringLiteral("%1 x %2 pixels, %3 %")
                           .arg(picture.width())
                           .arg(picture.height())
                           .arg(std::lround(canvas_->Scale() * 100)));
}

} // namespace tollamere
