#include "supported_types.h"

#include "jobs/image_inputs.h"

namespace folvane::gui {

namespace {

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// ".jpg.jpeg" -> {"jpg", "jpeg"}
QStringList extensionsOf(const jobs::SupportedType& type)
{
    return latin1(type.extensions).split(QLatin1Char('.'), Qt::SkipEmptyParts);
}

} // namespace

const QStringList& supportedImageTypes()
{
    static const QStringList types = [] {
        QStringList list;
        for (const jobs::SupportedType& type : jobs::supportedTypes()) {
            QStringList patterns;
            for (const QString& extension : extensionsOf(type))
                patterns << QStringLiteral("*.") + extension;
            list << QStringLiteral("%1 Files (%2)").arg(latin1(type.name), patterns.join(QLatin1Char(';')));
        }
        return list;
    }();
    return types;
}

const QStringList& supportedTypeNames()
{
    static const QStringList names = [] {
        // The usual extension, so JPEG and TIFF give JPG and TIF.
        QStringList list;
        for (const jobs::SupportedType& type : jobs::supportedTypes())
            list << extensionsOf(type).value(0).toUpper();
        return list;
    }();
    return names;
}

} // namespace folvane::gui
