// SPDX-License-Identifier: MIT
#pragma once

#include <QProgressBar>

namespace tollamere {

// A progress bar that shows its caption as given: a file name such as
// "50%p.png" must not be read as a format with placeholders.
class CaptionedProgressBar final : public QProgressBar {
public:
    explicit CaptionedProgressBar(QWidget* parent = nullptr) : QProgressBar(parent)
    {
        setTextVisible(true);
        setAlignment(Qt::AlignCenter);
    }

    void SetCaption(const QString& caption)
    {
        caption_ = caption;
        update();
    }

    QString text() const override { return caption_; }

private:
    QString caption_;
};

} // namespace tollamere
