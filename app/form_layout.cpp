// SPDX-License-Identifier: MIT
// Form1's controls and where they go: made once, laid out again as the
// window grows, in the design's twips; the tab order; the preview shown or
// not.
#include "Form1.h"

#include "captioned_progress_bar.h"
#include "effect_defaults.h"
#include "input_list_view.h"
#include "preview_pane.h"
#include "window_support.h"
#include "window_texts.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace tollamere {

namespace {

// The client area in twips; with the preview it reaches past picIn and
// picOut (8280 + 3840) by the design's margin of 120.
constexpr int ClientWidth = 8040;
constexpr int ClientWidthWithPreview = 12240;
constexpr int ClientHeight = 7290;

// Where a control goes beyond its design place when the window is larger
// than the design: moved right and down, widened and heightened, in pixels.
struct Growth {
    int right = 0;
    int down = 0;
    int wider = 0;
    int taller = 0;
};

void Place(QWidget* widget, int left, int top, int width, int height, Growth growth = {})
{
    widget->setGeometry(TwipsToPixels(left) + growth.right, TwipsToPixels(top) + growth.down,
                        TwipsToPixels(width) + growth.wider, TwipsToPixels(height) + growth.taller);
}

} // namespace

void Form1::CreateControls()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // The design's size is the smallest the controls fit in.
    setMinimumSize(TwipsToPixels(ClientWidth), TwipsToPixels(ClientHeight));
    resize(minimumSize());
    setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    setCursor(Qt::ArrowCursor);

    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSizeF(11.25);
    buttonFont.setBold(true);
    const auto makeButton = [&](const char* name, const QString& caption, QWidget* owner) {
        auto* button = new QPushButton(caption, owner);
        button->setObjectName(QLatin1String(name));
        button->setFont(buttonFont);
        return button;
    };
    const auto makeBox = [](const char* name, const QString& text, QWidget* owner) {
        auto* box = new QLineEdit(text, owner);
        box->setObjectName(QLatin1String(name));
        return box;
    };
    const auto makeLabel = [](const char* name, const QString& caption, QWidget* owner) {
        auto* label = new QLabel(caption, owner);
        label->setObjectName(QLatin1String(name));
        return label;
    };

    // In the order of the design, which is also the stacking order.
    Frame1 = new QGroupBox(QStringLiteral("Options"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtBevelSize = makeBox("txtBevelSize", FromAscii(DefaultBevelSizeText), Frame1);
    txtLightElevation = makeBox("txtLightElevation", FromAscii(DefaultLightElevationText), Frame1);
    txtLightAngle = makeBox("txtLightAngle", FromAscii(DefaultLightAngleText), Frame1);
    // The labels' access keys take the keyboard to their boxes.
    Label3 = makeLabel("Label3", QStringLiteral("&Bevel Size:"), Frame1);
    Label3->setBuddy(txtBevelSize);
    Label2 = makeLabel("Label2", QStringLiteral("Light &Elevation (in degrees):"), Frame1);
    Label2->setBuddy(txtLightElevation);
    Label1 = makeLabel("Label1", QStringLiteral("Light An&gle (in degrees):"), Frame1);
    Label1->setBuddy(txtLightAngle);
    PushButton9 = makeButton("PushButton9", QStringLiteral("Loo&k..."), Frame1);
    PushButton9->setToolTip(QStringLiteral("Look: the technique, profile, depth and shape of the bevel, and saved looks"));
    LookName = makeLabel("LookName", QString(), Frame1);
    LookName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ShowLookName();

    // Its access key takes the keyboard to the folder box, its first control.
    Frame2 = new QGroupBox(QStringLiteral("Save &Results To This Folder"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Text1 = makeBox("Text1", QString(), Frame2);
    PushButton7 = makeButton("PushButton7", QStringLiteral("..."), Frame2);
    PushButton7->setToolTip(QStringLiteral("Choose the folder the results are saved to"));
    PushButton8 = makeButton("PushButton8", QStringLiteral("&Options..."), Frame2);
    PushButton8->setToolTip(QStringLiteral("Output Options: sub-folders, file names, existing files, format, quality, metadata"));
    OptionsSummary = makeLabel("OptionsSummary", QString(), Frame2);
    OptionsSummary->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ShowOutputOptionsSummary();

    PushButton4 = makeButton("PushButton4", QStringLiteral("&Help"), this);
    PreviewToggle = makeButton("PreviewToggle", QStringLiteral("&Preview"), this);
    PreviewToggle->setCheckable(true);

    inputList_ = new InputListModel(this);
    ListView1 = new InputListView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(inputList_);
    ListView1->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    ListView1->setToolTip(ListHint);

    ProgressBar1 = new CaptionedProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->SetCaption(IdleProgressText);

    PushButton1 = makeButton("PushButton1", QStringLiteral("&Add Image File(s)"), this);
    PushButton3 = makeButton("PushButton3", QStringLiteral("Add All File(s) In &Folder"), this);
    PushButton2 = makeButton("PushButton2", StartCaption, this);
    PushButton5 = makeButton("PushButton5", QStringLiteral("&Clear List"), this);
    PushButton6 = makeButton("PushButton6", QStringLiteral("&Load Sample/Example File"), this);

    // picIn and picOut lie just beyond the design's client area; the window
    // widens to them when the preview shows.
    preview_ = new PreviewPane({ListView1->selectionModel(), inputList_, txtBevelSize, txtLightAngle,
                                txtLightElevation, [this] { return ParameterProblem(); }},
                               this);
    InputCaption = makeLabel("InputCaption", QStringLiteral("Input:"), this);
    InputCaption->setBuddy(preview_->InputBox());
    ResultCaption = makeLabel("ResultCaption", QStringLiteral("Result:"), this);
    ResultCaption->setBuddy(preview_->OutputBox());
    for (QLabel* caption : {InputCaption, ResultCaption})
        caption->hide();
    preview_->SetLook(look_.look);

    // Pointer feedback: the buttons show the hand, these the arrow. The
    // parameter boxes and the progress bar keep whatever pointer they meet.
    for (QWidget* widget : std::initializer_list<QWidget*>{
             this, Frame1, Frame2, Label1, Label2, Label3, ListView1, ListView1->viewport(), ListView1->header(), Text1,
             PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6, PushButton7, PushButton8,
             PushButton9, PreviewToggle}) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}


void Form1::LayOutControls()
{
    const int previewWidth = preview_->IsShown() ? TwipsToPixels(ClientWidthWithPreview) - TwipsToPixels(ClientWidth) : 0;
    const int extraWidth = std::max(0, width() - TwipsToPixels(ClientWidth) - previewWidth);
    const int extraHeight = std::max(0, height() - TwipsToPixels(ClientHeight));
    // With the preview, its panes take half of the extra width.
    const int wider = preview_->IsShown() ? extraWidth / 2 : extraWidth;
    const int paneWider = extraWidth - wider;
    const int leftHalf = wider / 2;
    const int rightHalf = wider - leftHalf;

    Place(PushButton4, 120, 120, 6240, 405, {0, 0, wider, 0});
    Place(PreviewToggle, 6480, 120, 1440, 405, {wider, 0, 0, 0});
    Place(ListView1, 120, 630, 7800, 1815, {0, 0, wider, extraHeight});
    Place(PushButton1, 120, 2540, 3840, 405, {0, extraHeight, leftHalf, 0});
    Place(PushButton3, 4080, 2540, 3840, 405, {leftHalf, extraHeight, rightHalf, 0});
    Place(PushButton5, 120, 3050, 3840, 405, {0, extraHeight, leftHalf, 0});
    Place(PushButton6, 4080, 3050, 3840, 405, {leftHalf, extraHeight, rightHalf, 0});

    Place(Frame1, 120, 3510, 7800, 1725, {0, extraHeight, wider, 0});
    Place(txtBevelSize, 2760, 1200, 975, 345);
    Place(txtLightElevation, 2760, 750, 975, 345);
    Place(txtLightAngle, 2760, 300, 975, 345);
    Place(Label3, 240, 1245, 1095, 255);
    Place(Label2, 240, 795, 2415, 255);
    Place(Label1, 240, 345, 2295, 255);
    Place(PushButton9, 5865, 300, 1695, 345, {wider, 0, 0, 0});
    Place(LookName, 3960, 795, 3600, 255, {wider, 0, 0, 0});

    Place(Frame2, 120, 5310, 7800, 810, {0, extraHeight, wider, 0});
    Place(Text1, 240, 300, 4815, 345, {0, 0, wider, 0});
    Place(PushButton7, 5160, 300, 600, 345, {wider, 0, 0, 0});
    Place(PushButton8, 5865, 300, 1695, 345, {wider, 0, 0, 0});
    // On the frame's title line, right of its caption, above Options....
    Place(OptionsSummary, 3360, 15, 4200, 255, {wider, 0, 0, 0});

    Place(PushButton2, 120, 6240, 7800, 405, {0, extraHeight, wider, 0});
    Place(ProgressBar1, 120, 6760, 7800, 405, {0, extraHeight, wider, 0});

    // The panes share the column's height below their captions.
    const int paneHeight = (height() - TwipsToPixels(120 + 255 + 105 + 255 + 120)) / 2;
    const int captionHeight = TwipsToPixels(255);
    Place(InputCaption, 8280, 120, 3840, 255, {wider, 0, paneWider, 0});
    preview_->InputBox()->setGeometry(InputCaption->x(), InputCaption->geometry().bottom() + 1, InputCaption->width(),
                                      paneHeight);
    ResultCaption->setGeometry(InputCaption->x(), preview_->InputBox()->geometry().bottom() + 1 + TwipsToPixels(105),
                               InputCaption->width(), captionHeight);
    preview_->OutputBox()->setGeometry(InputCaption->x(), ResultCaption->geometry().bottom() + 1, InputCaption->width(),
                                       paneHeight);
    FitFileColumn();
}

void Form1::FitFileColumn()
{
    if (fileColumnChosen_ || inputList_ == nullptr)
        return;
    QHeaderView* header = ListView1->header();
    const int room = ListView1->viewport()->width();
    // Long paths are cut short rather than leaving the result no room.
    const int needed = std::max(header->sectionSizeHint(PathColumn), ListView1->ColumnWidthHint(PathColumn));
    fittingColumns_ = true;
    ListView1->setColumnWidth(PathColumn, std::clamp(needed, room / 3, std::max(room / 3, room * 3 / 5)));
    fittingColumns_ = false;
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayOutControls();
}

void Form1::SetTabOrder()
{
    // As the eye reads the window: top to bottom, left to right, the preview last.
    const std::initializer_list<QWidget*> order{
        PushButton4,  PreviewToggle, ListView1,   PushButton1, PushButton3, PushButton5, PushButton6,
        txtLightAngle, txtLightElevation, txtBevelSize, PushButton9, Text1, PushButton7, PushButton8,
        PushButton2, preview_->InputBox(), preview_->OutputBox()};
    for (auto widget = order.begin(); std::next(widget) != order.end(); ++widget)
        QWidget::setTabOrder(*widget, *std::next(widget));
    // The list comes first: a first keystroke must not change a setting.
    ListView1->setFocus();
}


void Form1::ShowPreview(bool shown)
{
    const bool changed = shown != preview_->IsShown();
    preview_->SetShown(shown);
    for (QLabel* caption : {InputCaption, ResultCaption})
        caption->setVisible(shown);
    PreviewToggle->setChecked(shown);
    // The controls keep their width: the window widens by the panes, or
    // narrows by them, unless it fills the screen.
    const int panes = TwipsToPixels(ClientWidthWithPreview) - TwipsToPixels(ClientWidth);
    const int newWidth = width() + (shown ? panes : -panes);
    setMinimumSize(TwipsToPixels(shown ? ClientWidthWithPreview : ClientWidth), TwipsToPixels(ClientHeight));
    if (changed && !isMaximized() && !isFullScreen())
        resize(std::max(minimumWidth(), newWidth), height());
    LayOutControls();
}

} // namespace tollamere
