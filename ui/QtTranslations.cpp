#include "ui/QtTranslations.h"

#include "session/Wording.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// The context the translation script files every text of res/ under.
constexpr const char* kContext = "res";

bool install(const QString& file, const QString& folder)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(file, folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace

DialogLanguage dialogLanguage(const QStringList& uiLanguages)
{
    for (const QString& language : uiLanguages) {
        if (language == QLatin1String("zh") || language.startsWith(QLatin1String("zh-")) ||
            language.startsWith(QLatin1String("zh_")))
            return DialogLanguage::chinese;
        if (language == QLatin1String("en") || language.startsWith(QLatin1String("en-")) ||
            language.startsWith(QLatin1String("en_")))
            return DialogLanguage::english;
    }
    return DialogLanguage::english;
}

bool installTranslations(DialogLanguage language)
{
    // Embedded in the program, so it never depends on where the program was installed.
    Q_INIT_RESOURCE(translations);
    session::wording::setTranslation([](const char* source) {
        return QCoreApplication::translate(kContext, source).toStdString();
    });
    if (language == DialogLanguage::chinese)
        return installQtTranslations();
    return install(QStringLiteral("velmora-extractor_en"), QStringLiteral(":/i18n"));
}

bool installQtTranslations()
{
    return install(QStringLiteral("qtbase_zh_TW"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString uiText(const char* source)
{
    return QString::fromStdString(session::wording::tr(source));
}
