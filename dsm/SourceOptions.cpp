// The source's further options ("Дополнительно"): read and set by the worker, one change at a time,
// and shown again from what the device reads back, so an option that switches others on or off, or a
// value the device adjusted, shows as the device has it. What the device took is remembered with the
// rest of the window's settings.
#include "DataSource.h"

#include "DialogOwner.h"
#include "OptionsDialog.h"
#include "ScanDialog.h"
#include "ScanMemory.h"

#include <algorithm>

void TDataSource::OpenOptions() {
    if (!dialog_)
        return;
    if (!options_) {
        auto* options = new TOptionsDialog(dialog_, dialog_->windowTitle().section(QStringLiteral(" — "), 1));
        options->onChange = [this](const std::string& name, const std::string& value) {
            ChangeOption(name, value);
        };
        options_ = options;
        options->ShowMessage(QStringLiteral("Чтение параметров сканера…"));
        PlaceOver(options, dialog_);
    }
    options_->show();
    options_->raise();
    ChangeOption({}, {});
}

// Asks the worker to set one option (none: only to read them all) and read every option back.
void TDataSource::ChangeOption(const std::string& name, const std::string& value) {
    if (job_ || state_ != TSourceState::Enabled) {
        if (options_)
            options_->ShowMessage(QStringLiteral("Сканер занят. Повторите, когда он освободится."));
        return;
    }
    TScanSettings change;
    if (!name.empty())
        change.extra.emplace_back(name, value);
    if (options_)
        options_->SetBusy(true);
    StartJob(TJobKind::options, change);
}

void TDataSource::OptionsFinished(SANE_Status status, const std::vector<TOptionOutcome>& outcomes,
                                  const std::vector<TDeviceOption>& options) {
    if (!options_)
        return;
    options_->SetBusy(false);
    if (status != SANE_STATUS_GOOD) {
        options_->ShowMessage(QStringLiteral("Сканер не отвечает. ") + ScanStatusText(SANE_STATUS_IO_ERROR));
        return;
    }
    QString message;
    for (const TOptionOutcome& outcome : outcomes) {
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const TDeviceOption& o) { return o.name == outcome.name; });
        const QString title = option != options.end() ? option->title : QString::fromStdString(outcome.name);
        if (outcome.status != SANE_STATUS_GOOD) {
            message = QStringLiteral("Сканер не принял значение параметра «%1».").arg(title);
            continue;
        }
        if (option == options.end() || option->type == SANE_TYPE_BUTTON) {
            message = QStringLiteral("Готово: «%1».").arg(title);
            continue;
        }
        // The value as the device took it is what the next scans set again.
        auto& kept = settings_.options;
        kept.erase(
            std::remove_if(kept.begin(), kept.end(), [&](const auto& o) { return o.first == outcome.name; }),
            kept.end());
        kept.emplace_back(outcome.name, option->value);
        message = option->value != outcome.asked && (outcome.info & SANE_INFO_INEXACT)
                      ? QStringLiteral("Сканер установил для параметра «%1» значение %2.")
                            .arg(title, QString::fromStdString(option->value))
                      : QString();
        if (memory_)
            memory_->Remember(memoryKey_, settings_);
    }
    options_->ShowOptions(options);
    options_->ShowMessage(message);
}
