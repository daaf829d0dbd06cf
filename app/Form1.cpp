// SPDX-License-Identifier: MIT
#include "Form1.h"

#include "captioned_progress_bar.h"
#include "effect_defaults.h"
#include "failure_report.h"
#include "handler_names.h"
#include "input_list_model.h"
#include "input_list_view.h"
#include "look_dialog.h"
#include "numeric_text.h"
#include "output_options_dialog.h"
#include "parameter_checks.h"
#include "preview_pane.h"
#include "runtime_error.h"
#include "settings_keys.h"
#include "window_support.h"
#include "window_texts.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <algorithm>
#include <iterator>

namespace tollamere {

namespace {

// Rows found by a scan reach the list in batches this often, so a large tree
// neither freezes the window nor floods it with one call per file.
constexpr int ScanRowsIntervalMs = 50;
// How long a note about the list stays in the progress bar's place.
constexpr int NoteMs = 6000;

QString FromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// A forced background forces its text colour too: a dark desktop palette
// would otherwise write light text on the white design background.
void SetBackColour(QWidget* widget, const QColor& colour, const QColor& text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

Form1::Form1(Dialogs& dialogs, Form1Environment environment, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs),
      environment_(std::move(environment)),
      settings_(QStringLiteral("Tollamere"), QStringLiteral("Tollamere"))
{
    outputOptions_ = OutputOptionsFromSettings([this](const QString& key) { return StoredSetting(key, QString()); });
    look_ = LookFromSettings(settings_.value(KeyCurrentLookName).toString(), settings_.value(KeyCurrentLook).toString());
    CreateControls();
    WireCommands();
    SetTabOrder();
}

Form1::~Form1()
{
    StopBackgroundWork();
}

void Form1::WireCommands()
{
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(ListView1, &InputListView::RemoveSelectedRowRequested, this, [this] { ListView1_RemoveSelectedRow(); });
    connect(ListView1, &InputListView::PathsDropped, this,
            [this](const std::vector<std::string>& paths) { ListView1_Drop(paths); });
    // The list's context menu, for the rows a run left behind; the view asks
    // for it on a right click, Shift+F10 and the Menu key.
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addActions(ListView1->actions());
        menu->popup(ListView1->viewport()->mapToGlobal(position));
    });
    auto* copyFailed = new QAction(CopyFailedRowsCaption, ListView1);
    copyFailed->setObjectName(QStringLiteral("CopyFailedRows"));
    connect(copyFailed, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(inputList_->FailedRowsText()); });
    auto* removeWritten = new QAction(RemoveWrittenRowsCaption, ListView1);
    removeWritten->setObjectName(QStringLiteral("RemoveWrittenRows"));
    connect(removeWritten, &QAction::triggered, this, [this] {
        if (IsConverting() || IsBusy())
            return;
        std::vector<int> written;
        for (int row = 0; row < inputList_->RowCount(); ++row)
            if (inputList_->Row(row).outcome == RowOutcome::Written)
                written.push_back(row);
        RemoveRows(std::move(written));
    });
    ListView1->addActions({copyFailed, removeWritten});

    // Keys for the commands. A key whose command is disabled while a run is
    // active does nothing then, as the button does.
    const auto addShortcut = [this](const QKeySequence& keys, QPushButton* button) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isEnabled())
                button->click();
        });
        button->setToolTip(keys.toString(QKeySequence::NativeText));
    };
    addShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), PushButton1);
    addShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), PushButton3);
    addShortcut(QKeySequence(Qt::Key_F1), PushButton4);
    auto* start = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(start, &QShortcut::activated, this, [this] {
        if (!IsConverting())
            PushButton2_Click();
    });
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] { StopConversion(); });
    PushButton2->setToolTip(QStringLiteral("Ctrl+Return starts, Escape stops"));

    // Each box says what it takes as it is typed in.
    for (QLineEdit* box : {txtBevelSize, txtLightAngle, txtLightElevation}) {
        box->setValidator(new NumberCharactersValidator(box));
        connect(box, &QLineEdit::textChanged, this, [this] { MarkParameterBoxes(); });
    }
    connect(txtLightAngle, &QLineEdit::textChanged, this,
            [this](const QString& text) { StoreSetting(KeyLightAngle, text); });
    connect(txtLightElevation, &QLineEdit::textChanged, this,
            [this](const QString& text) { StoreSetting(KeyLightElevation, text); });
    connect(txtBevelSize, &QLineEdit::textChanged, this,
            [this](const QString& text) { StoreSetting(KeyBevelSize, text); });
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString& text) { StoreSetting(KeyOutputFolder, text); });

    // The preview follows the selected row and the three parameters.
    const QItemSelectionModel* selection = ListView1->selectionModel();
    connect(selection, &QItemSelectionModel::currentChanged, preview_, &PreviewPane::FollowSelection);
    connect(selection, &QItemSelectionModel::selectionChanged, preview_, &PreviewPane::FollowSelection);
    // Clearing the list resets the selection without a signal of its own.
    connect(inputList_, &QAbstractItemModel::modelReset, preview_, &PreviewPane::FollowSelection);
    for (QLineEdit* box : {txtBevelSize, txtLightAngle, txtLightElevation})
        connect(box, &QLineEdit::textChanged, preview_, &PreviewPane::FollowParameters);
    const auto togglePreview = [this] {
        ShowPreview(!preview_->IsShown());
        StoreSetting(KeyShowPreview, preview_->IsShown() ? QStringLiteral("1") : QStringLiteral("0"));
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this), &QShortcut::activated, this, togglePreview);
    connect(PreviewToggle, &QPushButton::clicked, this, togglePreview);
    PreviewToggle->setToolTip(QStringLiteral("Shows or hides the preview (Ctrl+P)"));

    // The file column fits its paths until the user drags its divider.
    connect(ListView1->header(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section == PathColumn && !fittingColumns_)
            fileColumnChosen_ = true;
    });
    connect(inputList_, &QAbstractItemModel::rowsInserted, this, [this] { FitFileColumn(); });
    connect(inputList_, &QAbstractItemModel::modelReset, this, [this] { FitFileColumn(); });

    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this, [this] { UndoRemoval(); });
    PushButton5->setToolTip(QStringLiteral("Ctrl+Z brings the rows back"));
    noteTimer_.setSingleShot(true);
    noteTimer_.setInterval(NoteMs);
    connect(&noteTimer_, &QTimer::timeout, this, [this] {
        skippedPaths_ = 0;
        if (!IsConverting())
            ProgressBar1->SetCaption(IdleProgressText);
    });

    scanRowsTimer_.setInterval(ScanRowsIntervalMs);
    connect(&scanRowsTimer_, &QTimer::timeout, this, [this] { AppendScannedRows(); });
}

void Form1::RestoreWindowPlacement()
{
    const QStringList widths = StoredSetting(KeyListColumnWidths, QString()).split(QLatin1Char(','));
    if (bool ok = false; widths.size() == 2 && widths.front().toInt(&ok) > 0 && ok) {
        fileColumnChosen_ = true;
        ListView1->setColumnWidth(PathColumn, widths.front().toInt());
    }
    const QStringList place = StoredSetting(KeyWindowGeometry, QString()).split(QLatin1Char(','));
    if (place.size() != 4)
        return;
    QList<int> numbers;
    for (const QString& number : place) {
        bool ok = false;
        numbers.push_back(number.toInt(&ok));
        if (!ok)
            return;
    }
    const QRect stored(numbers[0], numbers[1], numbers[2], numbers[3]);
    // A place on a screen no longer there would put the window out of reach.
    const QScreen* display = QGuiApplication::screenAt(stored.center());
    if (display == nullptr)
        return;
    resize(stored.size().expandedTo(minimumSize()));
    // The title bar stays on the screen, where it can be grabbed.
    const QRect available = display->availableGeometry();
    move(std::max(stored.left(), available.left()), std::max(stored.top(), available.top()));
    centred_ = true;
    if (StoredSetting(KeyWindowMaximized, QString()) == QStringLiteral("1"))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void Form1::SaveWindowPlacement()
{
    const QRect normal = isMaximized() ? normalGeometry() : QRect(pos(), size());
    StoreSetting(KeyWindowGeometry,
                 QStringLiteral("%1,%2,%3,%4").arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height()));
    StoreSetting(KeyWindowMaximized, isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
    if (fileColumnChosen_)
        StoreSetting(KeyListColumnWidths, QStringLiteral("%1,%2")
                                              .arg(ListView1->columnWidth(PathColumn))
                                              .arg(ListView1->columnWidth(ResultColumn)));
}

// ---- Start-up ----------------------------------------------------------

void Form1::Form_Load()
{
    RunStep(LoadHandler, 100, [&] { ApplySkin(); });
    RunStep(LoadHandler, 104, [&] { setWindowTitle(QLatin1String(ProductName)); });
    RunStep(LoadHandler, 104, [&] { setWindowIcon(MakeProgramIcon()); });
    RunStep(LoadHandler, 104, [&] { SetApplicationTitle(); });
    const QString handPointerPath = environment_.programFolder + QStringLiteral("/HAND-M.CUR");
    if (RunTest(LoadHandler, 106, [&] { return PathExists(handPointerPath.toStdString()); }))
        RunStep(LoadHandler, 108, [&] { handCursor_ = LoadCursorFile(handPointerPath); });
    RunStep(LoadHandler, 128, [&] { txtLightAngle->setText(StoredSetting(KeyLightAngle, FromAscii(DefaultLightAngleText))); });
    RunStep(LoadHandler, 130,
            [&] { txtLightElevation->setText(StoredSetting(KeyLightElevation, FromAscii(DefaultLightElevationText))); });
    RunStep(LoadHandler, 132, [&] { txtBevelSize->setText(StoredSetting(KeyBevelSize, FromAscii(DefaultBevelSizeText))); });
    RunStep(LoadHandler, 134, [&] { inputList_->SetColumnTitle(ColumnHeader); });
    RunStep(LoadHandler, 136, [&] { FitFileColumn(); });
    RunStep(LoadHandler, 138, [&] { RestoreOutputFolder(); });
    RunStep(LoadHandler, 140,
            [&] { ShowPreview(StoredSetting(KeyShowPreview, QStringLiteral("1")) == QStringLiteral("1")); });
    RunStep(LoadHandler, 142, [&] { RestoreWindowPlacement(); });
    MarkParameterBoxes();
}

void Form1::MarkParameterBoxes()
{
    const std::string separator = LocaleDecimalSeparator();
    const std::pair<QLineEdit*, ParameterBox> boxes[] = {{txtBevelSize, ParameterBox::BevelSize},
                                                         {txtLightAngle, ParameterBox::LightAngle},
                                                         {txtLightElevation, ParameterBox::LightElevation}};
    for (const auto& [box, kind] : boxes)
        MarkBox(box, CheckBoxText(kind, box->text(), separator),
                QStringLiteral("%1: %2").arg(BoxName(kind), BoxRange(kind)));
}

QString Form1::ParameterProblem() const
{
    const std::optional<RefusedBox> refused = FirstRefusedBox(txtBevelSize->text(), txtLightAngle->text(),
                                                              txtLightElevation->text(), LocaleDecimalSeparator());
    return refused ? refused->check.reason : QString();
}

void Form1::ApplySkin()
{
    const QString skinPath = environment_.programFolder + QStringLiteral("/x/o.cjs");
    if (!QFileInfo(skinPath).isFile())
        return;
    QFile skin(skinPath);
    if (!skin.open(QIODevice::ReadOnly))
        RaiseWithReason(ErrorNumber::PathFileAccessError,
                        QDir::toNativeSeparators(skinPath).toStdString() + ": " + skin.errorString().toStdString());
    const QString styleSheet = QString::fromUtf8(skin.readAll());

    const QColor buttonFace = palette().color(QPalette::Button);
    const QColor buttonText = palette().color(QPalette::ButtonText);
    for (QWidget* widget : std::initializer_list<QWidget*>{this, Frame1, Frame2, Label1, Label2, Label3})
        SetBackColour(widget, buttonFace, buttonText);
    setStyleSheet(styleSheet);
}

void Form1::SetApplicationTitle()
{
    applicationTitle_ = ApplicationTitleFor(QLatin1String(ProductName));
}

void Form1::RestoreOutputFolder()
{
    // The default is worked out first: without a desktop folder the box stays
    // empty, whatever the store holds.
    std::string folder = environment_.desktopFolder();
    // On a fresh account the desktop folder may not exist yet: a default
    // that fails the first run helps nobody.
    if (FolderExists(folder) != std::optional<bool>(true)) {
        if (std::string fallback = environment_.fallbackOutputFolder(); !fallback.empty())
            folder = std::move(fallback);
    }
    Text1->setText(StoredSetting(KeyOutputFolder, FromUtf8(folder)));
}

// ---- Output folder, samples, help ------------------------------------------

void Form1::PushButton7_Click()
{
    QString folder;
    RunStep(BrowseHandler, 100,
            [&] { folder = dialogs_.BrowseForFolder(FolderPrompt, StartFolder(KeyBrowseOutputFolder)); });
    if (RunTest(BrowseHandler, 102, [&] { return folder.isEmpty(); }))
        return;
    StoreSetting(KeyBrowseOutputFolder, folder);
    if (!folder.endsWith(QLatin1Char(PathSeparator)))
        RunStep(BrowseHandler, 106, [&] { Text1->setText(folder + QLatin1Char(PathSeparator)); });
    else
        RunStep(BrowseHandler, 108, [&] { Text1->setText(folder); });
}

void Form1::PushButton8_Click()
{
    std::optional<OutputOptions> chosen;
    RunStep(OutputOptionsHandler, 100, [&] { chosen = dialogs_.EditOutputOptions(OutputOptionsTitle, outputOptions_); });
    if (RunTest(OutputOptionsHandler, 102, [&] { return !chosen; }))
        return;
    outputOptions_ = *chosen;
    ShowOutputOptionsSummary();
    RunStep(OutputOptionsHandler, 104, [&] {
        OutputOptionsToSettings(outputOptions_, [this](const QString& key, const QString& text) { StoreSetting(key, text); });
    });
}

void Form1::ShowOutputOptionsSummary()
{
    const QString summary = OutputOptionsSummary(outputOptions_);
    OptionsSummary->setText(summary.isEmpty() ? QString() : QStringLiteral("Options: ") + summary);
    OptionsSummary->setToolTip(OptionsSummary->text());
}

void Form1::PushButton4_Click()
{
    RunStep(HelpHandler, 100,
            [&] { dialogs_.Message(applicationTitle_, HelpText, MessageIcon::None, MessageButtons::Ok); });
}

// ---- Window life ---------------------------------------------------------

void Form1::closeEvent(QCloseEvent* event)
{
    if (!closing_)
        SaveWindowPlacement();
    closing_ = true;
    StopBackgroundWork();
    QWidget::closeEvent(event);
}

void Form1::StopBackgroundWork()
{
    if (conversion_) {
        if (std::exchange(reportOpen_, false))
            dialogs_.CloseRunReport();
        conversion_->Abandon();
        conversion_.reset();
    }
    // All are asked first, so that they wind down side by side.
    for (const Scan& scan : scans_)
        scan.job->RequestStop();
    scans_.clear();
    scanRowsTimer_.stop();
    addAllScansRunning_ = 0;
}

void Form1::showEvent(QShowEvent* event)
{
    if (!centred_) {
        centred_ = true;
        if (const QScreen* display = screen())
            move(display->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

bool Form1::IsBusy() const
{
    return cursor().shape() == Qt::WaitCursor;
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        auto* widget = static_cast<QWidget*>(watched);
        const QPointF position = event->type() == QEvent::Enter ? static_cast<QEnterEvent*>(event)->position()
                                                                : static_cast<QMouseEvent*>(event)->position();
        // A move that a child passed on to its parent belongs to the child.
        if (widget->childAt(position.toPoint()) == nullptr) {
            if (qobject_cast<QPushButton*>(widget) != nullptr)
                SetWindowPointer(handCursor_);
            else
                SetWindowPointer(QCursor(Qt::ArrowCursor));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::SetWindowPointer(const QCursor& pointer)
{
    if (!IsBusy())
        setCursor(pointer);
}

// ---- Shared pieces ---------------------------------------------------------

bool Form1::RunStep(std::string_view handler, int line, const std::function<void()>& step)
{
    try {
        step();
        return true;
    } catch (...) {
        ShowFailureReport(FailureDescription(std::current_exception()), handler, line);
        return false;
    }
}

bool Form1::RunTest(std::string_view handler, int line, const std::function<bool()>& test)
{
    bool holds = true;
    RunStep(handler, line, [&] { holds = test(); });
    return holds;
}

void Form1::ShowFailureReport(const std::string& description, std::string_view handler, int line)
{
    if (closing_)
        return;
    dialogs_.Message(QString::fromUtf8(FailureReportTitle.data(), static_cast<qsizetype>(FailureReportTitle.size())),
                     FromUtf8(FailureReportText(description, handler, line)), MessageIcon::Warning,
                     MessageButtons::Ok);
}

void Form1::ShowMessage(const QString& text)
{
    if (closing_)
        return;
    dialogs_.Message(applicationTitle_, text, MessageIcon::None, MessageButtons::Ok);
}

QString Form1::StartFolder(const QString& key)
{
    const QString folder = StoredSetting(key, QString());
    return QFileInfo(folder).isDir() ? folder : QString();
}

void Form1::StoreSetting(const QString& key, const QString& text)
{
    // Written through at once: a crash later must not lose what was typed.
    settings_.setValue(SettingsGroup + QLatin1Char('/') + key, text);
    settings_.sync();
}

QString Form1::StoredSetting(const QString& key, const QString& fallback)
{
    return settings_.value(SettingsGroup + QLatin1Char('/') + key, fallback).toString();
}

} // namespace tollamere