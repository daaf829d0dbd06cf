// SPDX-License-Identifier: MIT
#include "preview_pane.h"

#include "input_list_model.h"
#include "numeric_text.h"
#include "process_environment.h"
#include "zoom_view.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextOption>

#include <algorithm>

namespace tollamere {

namespace {

// The loupe's side, in the box's pixels.
constexpr int LoupeSide = 120;

// Light and mid grey squares, eight pixels each.
const QPixmap& Checkerboard()
{
    static const QPixmap tile = [] {
        QPixmap squares(16, 16);
        squares.fill(QColor(204, 204, 204));
        QPainter painter(&squares);
        painter.fillRect(0, 0, 8, 8, QColor(153, 153, 153));
        painter.fillRect(8, 8, 8, 8, QColor(153, 153, 153));
        return squares;
    }();
    return tile;
}

} // namespace

// ---- PreviewBox ------------------------------------------------------------

PreviewBox::PreviewBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setToolTip(QStringLiteral("Click, or Return, to see it at full size"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void PreviewBox::ShowPicture(const QImage& thumbnail)
{
    thumbnail_ = thumbnail;
    text_.clear();
    update();
}

void PreviewBox::SetDetailSource(const QImage& full)
{
    detailSource_ = full;
    update();
}

void PreviewBox::ShowText(const QString& text)
{
    thumbnail_ = QImage();
    detailSource_ = QImage();
    text_ = text;
    update();
}

void PreviewBox::Clear()
{
    ShowText(QString());
}

QSize PreviewBox::BoxSize() const
{
    return contentsRect().size() * devicePixelRatioF();
}

QRect PreviewBox::ThumbnailRect() const
{
    const QSize shownSize = (QSizeF(thumbnail_.size()) / devicePixelRatioF()).toSize();
    QRect target(QPoint(0, 0), shownSize);
    target.moveCenter(contentsRect().center());
    return target;
}

void PreviewBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect();
    if (!thumbnail_.isNull()) {
        const QRect target = ThumbnailRect();
        // See-through parts over a checkerboard, as picture editors show them.
        if (thumbnail_.hasAlphaChannel())
            painter.fillRect(target, QBrush(Checkerboard()));
        painter.drawImage(target, thumbnail_);
        PaintLoupe(painter, target);
    } else if (!text_.isEmpty()) {
        // A reason often holds a long path with no blank to break at.
        QTextOption option(Qt::AlignCenter);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(inside.adjusted(4, 4, -4, -4)), text_, option);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = inside.adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void PreviewBox::PaintLoupe(QPainter& painter, const QRect& shown)
{
    // Only where the thumbnail shrinks the picture at least twofold.
    if (!pointer_ || detailSource_.isNull() || !shown.contains(*pointer_) ||
        detailSource_.width() < 2 * thumbnail_.width())
        return;
    const double scale = static_cast<double>(detailSource_.width()) / shown.width();
    const QPoint centre((*pointer_ - shown.topLeft()) * scale);
    const int side = std::min(LoupeSide, std::min(width(), height()) / 2);
    const int sourceSide = static_cast<int>(side * devicePixelRatioF());
    QRect source(0, 0, sourceSide, sourceSide);
    source.moveCenter(centre);
    QRect loupe(0, 0, side, side);
    // Beside the pointer, inside the box, never under it.
    loupe.moveTopLeft(*pointer_ + QPoint(12, 12));
    if (loupe.right() > width() - 2)
        loupe.moveRight(pointer_->x() - 12);
    if (loupe.bottom() > height() - 2)
        loupe.moveBottom(pointer_->y() - 12);
    painter.save();
    painter.fillRect(loupe, QBrush(Checkerboard()));
    painter.drawImage(loupe, detailSource_, source);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(loupe.adjusted(0, 0, -1, -1));
    painter.restore();
}

void PreviewBox::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position().toPoint();
    if (!detailSource_.isNull())
        update();
    QFrame::mouseMoveEvent(event);
}

void PreviewBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    emit Resized();
}

void PreviewBox::leaveEvent(QEvent* event)
{
    pointer_.reset();
    update();
    QFrame::leaveEvent(event);
}

void PreviewBox::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QFrame::mousePressEvent(event);
}

void PreviewBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        event->accept();
        emit Clicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

void PreviewBox::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QFrame::mouseReleaseEvent(event);
    if (click)
        emit Clicked();
}

// ---- PreviewPane -----------------------------------------------------------

PreviewPane::PreviewPane(PreviewInputs inputs, QWidget* window)
    : QObject(window), inputs_(inputs), window_(window)
{
    picIn_ = new PreviewBox(window);
    picIn_->setObjectName(QStringLiteral("picIn"));
    picOut_ = new PreviewBox(window);
    picOut_->setObjectName(QStringLiteral("picOut"));
    for (PreviewBox* box : {picIn_, picOut_})
        box->hide();

    window->installEventFilter(this);
    resized_.setSingleShot(true);
    resized_.setInterval(150);
    connect(picOut_, &PreviewBox::Resized, &resized_, qOverload<>(&QTimer::start));
    connect(&resized_, &QTimer::timeout, this, [this] {
        if (!shown_ || !hasSubject_)
            return;
        // Read afresh, so that both thumbnails take the panes' new size.
        const QPersistentModelIndex row = subject_;
        ForgetSubject();
        hasSubject_ = true;
        subject_ = row;
        Request();
    });
    connect(picIn_, &PreviewBox::Clicked, this,
            [this] { OpenZoom(inputZoom_, inputPicture_, SubjectName()); });
    connect(picOut_, &PreviewBox::Clicked, this, [this] {
        OpenZoom(outputZoom_, outputPicture_, SubjectName() + QStringLiteral(" (bevelled)"));
    });
}

PreviewPane::~PreviewPane()
{
    // Joined here, while the handlers' object still exists.
    worker_.reset();
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event)
{
    // The full-size views go with the window: the program ends when it closes.
    if (watched == window_ && event->type() == QEvent::Close)
        CloseZooms();
    return QObject::eventFilter(watched, event);
}

void PreviewPane::CloseZooms()
{
    for (ZoomView* view : {inputZoom_.data(), outputZoom_.data()})
        if (view)
            view->close();
}

void PreviewPane::SetShown(bool shown)
{
    if (shown == shown_)
        return;
    shown_ = shown;
    picIn_->setVisible(shown);
    picOut_->setVisible(shown);
    if (shown) {
        if (!worker_) {
            PreviewWorker::Handlers handlers;
            handlers.source = [this](const PreviewSourceShown& shownSource) { ShowSource(shownSource); };
            handlers.result = [this](const PreviewResultShown& shownResult) { ShowResult(shownResult); };
            worker_ = std::make_unique<PreviewWorker>(this, std::move(handlers),
                                                      UsableProcessors());
        }
        FollowSelection();
        return;
    }
    CloseZooms();
    ForgetSubject();
    // Lets the worker drop its picture; anything it still delivers is stale.
    Request();
}

void PreviewPane::FollowSelection()
{
    if (!shown_)
        return;
    const QPersistentModelIndex row = SelectedRow();
    // Selecting and making current are two signals for one click; the picture
    // is read once.
    if (row.isValid() == hasSubject_ && (!row.isValid() || row == subject_))
        return;
    ForgetSubject();
    if (row.isValid()) {
        hasSubject_ = true;
        subject_ = row;
    } else {
        for (ZoomView* view : {inputZoom_.data(), outputZoom_.data()})
            if (view)
                view->ShowText(QString(), QString());
    }
    Request();
}

void PreviewPane::FollowParameters()
{
    if (shown_ && hasSubject_)
        Request();
}

void PreviewPane::SetLook(const BevelLook& look)
{
    look_ = look;
    FollowParameters();
}

QPersistentModelIndex PreviewPane::SelectedRow() const
{
    const QModelIndexList selected = inputs_.selection->selectedIndexes();
    if (selected.isEmpty())
        return QPersistentModelIndex();
    const QModelIndex current = inputs_.selection->currentIndex();
    const bool currentSelected =
        current.isValid() && std::any_of(selected.begin(), selected.end(),
                                         [&](const QModelIndex& index) { return index.row() == current.row(); });
    // A row is its path, whichever column was clicked.
    return QPersistentModelIndex((currentSelected ? current : selected.front()).siblingAtColumn(0));
}

void PreviewPane::ForgetSubject()
{
    hasSubject_ = false;
    subject_ = QPersistentModelIndex();
    ++source_;
    inputPicture_ = QImage();
    outputPicture_ = QImage();
    picIn_->Clear();
    picOut_->Clear();
}

void PreviewPane::Request()
{
    PreviewRequest request;
    request.generation = ++generation_;
    // A row removed under the preview leaves its persistent index invalid.
    if (shown_ && hasSubject_ && subject_.isValid()) {
        request.source = source_;
        request.path = inputs_.rows->Row(subject_.row()).path;
    }
    // As a conversion run reads them: the texts as typed, the locale's separator.
    request.parameters =
        ReadEffectParameters(inputs_.bevelSize->text().toStdString(), inputs_.lightAngle->text().toStdString(),
                             inputs_.lightElevation->text().toStdString(), LocaleDecimalSeparator());
    request.parameters.look = look_;
    request.box = picOut_->BoxSize();
    if (worker_)
        worker_->Post(std::move(request));
}

void PreviewPane::ShowSource(const PreviewSourceShown& shown)
{
    if (shown.source != source_ || !hasSubject_)
        return;
    inputPicture_ = shown.picture.full;
    if (shown.failure.isEmpty())
        picIn_->ShowPicture(shown.picture.thumbnail);
    if (inputZoom_) {
        if (shown.failure.isEmpty())
            inputZoom_->ShowPicture(inputPicture_, SubjectName());
        else
            inputZoom_->ShowText(shown.failure, SubjectName());
    }
}

void PreviewPane::ShowResult(const PreviewResultShown& shown)
{
    if (shown.generation != generation_ || !hasSubject_)
        return;
    outputPicture_ = shown.picture.full;
    const QString problem = inputs_.parameterProblem ? inputs_.parameterProblem() : QString();
    if (shown.failure.isEmpty()) {
        picOut_->ShowPicture(shown.picture.thumbnail);
        picOut_->SetDetailSource(outputPicture_);
    } else {
        picOut_->ShowText(problem.isEmpty() ? shown.failure : problem);
    }
    if (outputZoom_) {
        const QString caption = SubjectName() + QStringLiteral(" (bevelled)");
        if (shown.failure.isEmpty())
            outputZoom_->ShowPicture(outputPicture_, caption);
        else
            outputZoom_->ShowText(shown.failure, caption);
    }
}

void PreviewPane::OpenZoom(QPointer<ZoomView>& view, const QImage& picture, const QString& caption)
{
    if (picture.isNull())
        return;
    const bool opening = view.isNull();
    if (opening) {
        view = new ZoomView(window_);
        view->setAttribute(Qt::WA_DeleteOnClose);
    }
    view->ShowPicture(picture, caption);
    if (opening)
        view->FitScreen();
    view->show();
    view->raise();
    view->activateWindow();
}

QString PreviewPane::SubjectName() const
{
    if (!hasSubject_ || !subject_.isValid())
        return QString();
    const QString path = InputListModel::DisplayText(inputs_.rows->Row(subject_.row()).path);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace tollamere
