// The source's window: shown when the application enables the source with its user interface, its
// buttons wired to the scan and to the request to close; and the settings of a scan that nobody sets
// in the window, given as an option string.
#include "DataSource.h"

#include "DialogOwner.h"
#include "OptionsDialog.h"
#include "ScanDialog.h"
#include "ScanJob.h"
#include "ScanMemory.h"
#include "Window.h"

#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

QString DeviceTitle(const TW_IDENTITY& identity) {
    return QString::fromUtf8(identity.Manufacturer,
                             int(strnlen(identity.Manufacturer, sizeof identity.Manufacturer))) +
           QLatin1Char(' ') +
           QString::fromUtf8(identity.ProductName,
                             int(strnlen(identity.ProductName, sizeof identity.ProductName)));
}

} // namespace

void TDataSource::ShowDialog() {
    QWidget* owner = ProgramWindow();
    auto* dialog = new TScanDialog(owner, DeviceTitle(identity_), limits_, settings_);
    dialog->onScan = [this](const TScanSettings& settings) {
        // The further options are the source's: the window's own copy may be older.
        std::vector<std::pair<std::string, std::string>> options = std::move(settings_.options);
        settings_ = settings;
        settings_.options = std::move(options);
        if (memory_)
            memory_->Remember(memoryKey_, settings_);
        StartScan(settings);
    };
    dialog->onPreview = [this](TScanSettings settings) {
        settings.options = settings_.options;
        StartPreview(settings);
    };
    dialog->onOptions = [this] { OpenOptions(); };
    dialog->onClose = [this] {
        if (job_)
            job_->Cancel();
        Post(MSG_CLOSEDSREQ);
    };
    if (memory_)
        dialog->SetPreview(memory_->Preview(memoryKey_));
    dialog_ = dialog;
    PlaceOver(dialog, owner);
    dialog->show();
}

void TDataSource::CloseDialog() {
    if (options_) {
        options_->onChange = nullptr;
        options_->hide();
        options_->deleteLater();
        options_.clear();
    }
    if (dialog_) {
        dialog_->onScan = nullptr;
        dialog_->onClose = nullptr;
        dialog_->hide();
        dialog_->deleteLater();
        dialog_.clear();
    }
}

void TDataSource::ShowProgress() {
    if (!job_)
        return;
    // A worker whose sheet is done but whose device does not let it end is not waited for.
    if (!job_->Done() && job_->OutcomeKnown() &&
        job_->MillisecondsSinceOutcome() > kWorkerGraceMilliseconds) {
        ScanFinished();
        return;
    }
    if (dialog_)
        // A preview or a change of options is no sheet of the feeder's run.
        dialog_->SetProgress(
            job_->Progress(),
            job_->Kind() == TJobKind::preview || job_->Kind() == TJobKind::options ? 0 : sheetsDone_);
}

void TDataSource::SetScanOptions(const std::string& options) {
    settings_ = DefaultSettings(limits_);
    double corner[4] = {settings_.left, settings_.top, settings_.left + settings_.width,
                        settings_.top + settings_.height};
    const char* const cornerNames[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    std::size_t start = 0;
    while (start < options.size()) {
        std::size_t end = options.find(';', start);
        if (end == std::string::npos)
            end = options.size();
        const std::string pair = options.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = pair.substr(0, equals), value = pair.substr(equals + 1);
        const auto cornerAt = std::find(std::begin(cornerNames), std::end(cornerNames), name);
        if (name == "source") {
            // Set as given, also when the device has it already (which may fill a feeder again).
            settings_.source = value;
            settings_.extra.emplace_back(name, value);
        } else if (name == "mode") {
            settings_.mode = value;
            settings_.depth = 0;
        } else if (name == "depth") {
            settings_.depth = std::atoi(value.c_str());
        } else if (name == "resolution") {
            settings_.resolution = std::atoi(value.c_str());
        } else if (cornerAt != std::end(cornerNames)) {
            corner[cornerAt - std::begin(cornerNames)] = std::atof(value.c_str());
            settings_.hasArea = true;
        } else {
            settings_.extra.emplace_back(name, value);
        }
    }
    settings_.left = corner[0];
    settings_.top = corner[1];
    settings_.width = corner[2] - corner[0];
    settings_.height = corner[3] - corner[1];
}
