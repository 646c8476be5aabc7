#include "supported_types.h"

namespace folvane::gui {

const QStringList& supportedImageTypes()
{
    static const QStringList types = {
        "BMP Files (*.bmp)", "GIF Files (*.gif)", "JPEG Files (*.jpg;*.jpeg)", "PNG Files (*.png)",
        "ICO Files (*.ico)", "TIFF Files (*.tif;*.tiff)", "TGA Files (*.tga)", "PCX Files (*.pcx)",
        "WBMP Files (*.wbmp)", "WMF Files (*.wmf)", "EMF Files (*.emf)", "JP2 Files (*.jp2)",
        "JPC Files (*.jpc)", "PGX Files (*.pgx)", "PNM Files (*.pnm)", "RAS Files (*.ras)",
        "JBG Files (*.jbg)", "MNG Files (*.mng)", "SKA Files (*.ska)", "RAW Files (*.raw)",
        "PSD Files (*.psd)", "ART Files (*.art)", "AVS Files (*.avs)", "CALS Files (*.cals)",
        "CUR Files (*.cur)", "CUT Files (*.cut)", "DCM Files (*.dcm)", "DCX Files (*.dcx)",
        "DIB Files (*.dib)", "DPX Files (*.dpx)", "FAX Files (*.fax)", "FITS Files (*.fits)",
        "JNG Files (*.jng)", "MAT Files (*.mat)", "MONO Files (*.mono)", "OTB Files (*.otb)",
        "P7 Files (*.p7)", "PALM Files (*.palm)", "PDB Files (*.pdb)", "PAM Files (*.pam)",
        "PBM Files (*.pbm)", "PGM Files (*.pgm)", "PPM Files (*.ppm)", "PCD Files (*.pcd)",
        "PICON Files (*.picon)", "PICT Files (*.pict)", "PIX Files (*.pix)", "PTIF Files (*.ptif)",
        "PWP Files (*.pwp)", "RLA Files (*.rla)", "RLE Files (*.rle)", "SCT Files (*.sct)",
        "SFW Files (*.sfw)", "SGI Files (*.sgi)", "SUN Files (*.sun)", "TIM Files (*.tim)",
        "VICAR Files (*.vicar)", "VIFF Files (*.viff)", "WPG Files (*.wpg)", "XBM Files (*.xbm)",
        "XCF Files (*.xcf)", "XPM Files (*.xpm)", "XWD Files (*.xwd)",
    };
    return types;
}

const QStringList& supportedTypeNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const QString& type : supportedImageTypes()) {
            // The extension of the first pattern, so JPEG and TIFF give JPG and TIF.
            int star = type.indexOf(QStringLiteral("*."));
            int end = star;
            while (end < type.size() && type[end] != QLatin1Char(';') && type[end] != QLatin1Char(')'))
                ++end;
            list << type.mid(star + 2, end - star - 2).toUpper();
        }
        return list;
    }();
    return names;
}

} // namespace folvane::gui
