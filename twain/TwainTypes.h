// The component's small vocabulary: sets of enumeration values, the enumerations its properties and
// capability readers speak, and the event types its handlers have.
#pragma once

#include "Twain.h"
#include "Types.h"
#include "WinTypes.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <initializer_list>

class TBitmap;

// A small set of enumeration values.
template <class E> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E item : items)
            Include(item);
    }
    constexpr bool Contains(E item) const { return (bits_ & Bit(item)) != 0; }
    constexpr void Include(E item) { bits_ |= Bit(item); }
    constexpr void Exclude(E item) { bits_ &= ~Bit(item); }
    constexpr bool Empty() const { return bits_ == 0; }
    friend constexpr bool operator==(TSet, TSet) = default;

private:
    static constexpr std::uint32_t Bit(E item) { return std::uint32_t(1) << unsigned(item); }
    std::uint32_t bits_ = 0;
};

enum TTwainTransferMode { ttmFile, ttmNative, ttmMemory };

enum TTwainGroup { tgControl, tgImage, tgAudio };
using TTwainGroups = TSet<TTwainGroup>;

// File formats of a file transfer; the first ten equal the standard's TWFF_ codes.
enum TTwainFormat {
    fmTIFF,
    fmPict,
    fmBMP,
    fmXBM,
    fmJPEG,
    fmFPX,
    fmTIFFMulti,
    fmPNG,
    fmSPIFF,
    fmEXIF,
    fmOther
};

// Languages of an identity; each ordinal is the standard's TWLG_ code plus one.
// clang-format off
enum TTwainLanguage : int {
    tlUserLocale, tlDanish, tlDutch, tlInternationalEnglish, tlFrenchCanadian, tlFinnish, tlFrench, tlGerman,
    tlIcelandic, tlItalian, tlNorwegian, tlPortuguese, tlSpanish, tlSwedish, tlUsEnglish, tlAfrikaans,
    tlAlbania, tlArabic, tlArabicAlgeria, tlArabicBahrain, tlArabicEgypt, tlArabicIraq, tlArabJordan,
    tlArabicKuwait, tlArabicLebanon, tlArabicLibya, tlArabicMorocco, tlArabicOman, tlArabicQatar,
    tlArabicSaudiarabia, tlArabicSyria, tlArabicTunisia, tlArabicUae, tlArabicYemen, tlBasque, tlByelorussian,
    tlBulgarian, tlCatalan, tlChinese, tlChineseHongkong, tlChinesePeoplesRepublic, tlChineseSingapore,
    tlChineseSimplified, tlChineseTwain, tlChineseTraditional, tlCroatia, tlCzech, tlDutchBelgian,
    tlEnglishAustralian, tlEnglishCanadian, tlEnglishIreland, tlEnglishNewZealand, tlEnglishSouthAfrica,
    tlEnglishUk, tlEstonian, tlFaeroese, tlFarsi, tlFrenchBelgian, tlFrenchLuxembourg, tlFrenchSwiss,
    tlGermanAustrian, tlGermanLuxembourg, tlGermanLiechtenstein, tlGermanSwiss, tlGreek, tlHebrew, tlHungarian,
    tlIndonesian, tlItalianSwiss, tlJapanese, tlKorean, tlKoreanJohab, tlLatvian, tlLithuanian,
    tlNorewgianBokmal, tlNorwegianNynorsk, tlPolish, tlPortugueseBrazil, tlRomanian, tlRussian, tlSerbianLatin,
    tlSlovak, tlSlovenian, tlSpanishMexican, tlSpanishModern, tlThai, tlTurkish, tlUkranian, tlAssamese,
    tlBengali, tlBihari, tlBodo, tlDogri, tlGujarati, tlHarayanvi, tlHindi, tlKannada, tlKashmiri, tlMalayalam,
    tlMarathi, tlMarwari, tlMeghalayan, tlMizo, tlNaga, tlOrissi, tlPunjabi, tlPushtu, tlSerbianCyrillic,
    tlSikkimi, tlSwidishFinland, tlTamil, tlTelugu, tlTripuri, tlUrdu, tlVietnamese
};
// clang-format on

using TGetCapabilityList = QStringList;

// How a capability request went.
enum TCapResult {
    cpOk,
    cpUnsupported,
    cpBadOperation,
    cpDependency,
    cpLowMemory,
    cpBadState,
    cpBadContainer
};
// Which value of a capability is asked for: MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT or MSG_RESET.
enum TCapQuery { cqGet, cqGetCurrent, cqGetDefault, cqReset };
// ICAP_UNITS values; the first six equal the standard's TWUN_ codes.
enum TUnitKind { ukInches, ukCentimeters, ukPicas, ukPoints, ukTwips, ukPixels, ukOther };
using TUnitKinds = TSet<TUnitKind>;
// ICAP_PIXELFLAVOR values.
enum TFlavorKind { fkChocolate, fkVanilla, fkOther };
using TFlavorKinds = TSet<TFlavorKind>;

// Events; the sender comes first and Index is the source's position in the component's list.
using TOnSourceNotify = std::function<void(TObject* Sender, int Index)>;
using TOnTwainAcquire = std::function<void(TObject* Sender, int Index, TBitmap* Image, bool& Cancel)>;
using TOnAcquireProgress =
    std::function<void(TObject* Sender, int Index, HBITMAP Image, int Current, int Total)>;
using TOnSourceFileTransfer =
    std::function<void(TObject* Sender, int Index, TW_STR255& Filename, TTwainFormat Format, bool& Cancel)>;
using TOnTwainError = std::function<void(TObject* Sender, int Index, int ErrorCode, int Additional)>;
