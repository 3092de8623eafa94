#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <map>

namespace {

// The toolkit's additions to Qt's dialogs, by language. Qt's own catalogue has no such texts.
class TToolkitTranslator : public QTranslator {
public:
    explicit TToolkitTranslator(QLocale::Language language) : language_(language) {}

    QString translate(const char* context, const char* sourceText, const char*, int) const override {
        if (language_ != QLocale::Russian || qstrcmp(context, "TPictureDialog") != 0)
            return {};
        static const std::map<QByteArray, QString> russian = {
            {"%1\nThis file does not exist.\nDo you want to create it?",
             QStringLiteral("%1\nЭтот файл не существует.\nСоздать его?")},
        };
        const auto found = russian.find(QByteArray(sourceText));
        return found != russian.end() ? found->second : QString();
    }
    bool isEmpty() const override { return language_ != QLocale::Russian; }

private:
    QLocale::Language language_;
};

QPointer<QTranslator>& Installed(int which) {
    static QPointer<QTranslator> installed[2];
    return installed[which];
}

void Replace(int which, QTranslator* translator) {
    if (QTranslator* old = Installed(which)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    Installed(which) = translator;
    if (translator)
        QCoreApplication::installTranslator(translator);
}

} // namespace

bool InstallTranslations(const QLocale& locale) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return false;
    auto* qt = new QTranslator(application);
    const bool found = qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!found) {
        delete qt;
        qt = nullptr;
    }
    Replace(0, qt);
    auto* own = new TToolkitTranslator(locale.language());
    own->setParent(application);
    Replace(1, own);
    return found;
}
