// Every text that the host, the log file or the monitor window sees, in one place, but for
// the card models' names, which card/discovery.h keeps with their device IDs.
// Written in UTF-8 here, stored as Windows-1250 bytes (see cp1250.h).
#pragma once

#include "config/cp1250.h"

namespace qv::text {

// Driver identity.
inline constexpr Cp1250Text kDriverInfo = "Ovladač LVK-5120x v.1.00";
inline constexpr Cp1250Text kModuleName = "Qv_lvk5120x";
inline constexpr Cp1250Text kDefaultLogFileName = "Qv_lvk5120x.log";

// Lifecycle.
inline constexpr Cp1250Text kInitNullPData = "Init - předán nulový ukazatel PData";
inline constexpr Cp1250Text kInitSucceeded = "Ovladač úspěšně inicializován.";
inline constexpr Cp1250Text kWindowCreateFailed = "Nelze vytvořit okno ovladače.";
inline constexpr Cp1250Text kWindowFreeFailed = "Okno ovladače nelze uvolnit z paměti.";
inline constexpr Cp1250Text kDriverDisposed = "Ovladač odinstalován.";
inline constexpr Cp1250Text kDriverFreeFailed = "Ovladač nelze uvolnit z paměti.";

// Parameter file: sections, keys, results.
inline constexpr Cp1250Text kSectionCard = "Nastavení karty";
inline constexpr Cp1250Text kSectionLog = "Logovací soubor";
inline constexpr Cp1250Text kSectionCardConfig = "Konfigurace karty";
inline constexpr Cp1250Text kKeyAutoDetect = "Automatická detekce";
inline constexpr Cp1250Text kKeyBus = "BUS";
inline constexpr Cp1250Text kKeySlot = "SLOT";
inline constexpr Cp1250Text kKeyDemoMode = "Demo režim";
inline constexpr Cp1250Text kKeyLogEnabled = "Povolen";
inline constexpr Cp1250Text kKeyLogFileName = "Název souboru";
inline constexpr Cp1250Text kValidityDefault = "jkl";
inline constexpr Cp1250Text kNoError = "Bez chyby";
inline constexpr Cp1250Text kBadParameterFile = "Chybný parametrický soubor.";
// A value that fails its check: this, the section and the key that cfg_schema.h names for
// it, joined by " / ", then " = ", the value and a full stop.
inline constexpr Cp1250Text kErrParameterFile = "Chyba parametrického souboru - ";

// Log result codes 0..3.
inline constexpr Cp1250Text kLogOk = "V pořádku.";
inline constexpr Cp1250Text kLogCannotOpen = "Nelze otevřít logovací soubor.";
inline constexpr Cp1250Text kLogCannotCreate = "Nelze vytvořit logovací soubor.";
inline constexpr Cp1250Text kLogAccessError = "Chyba přístupu k logovacímu souboru.";

// Card discovery and initialisation.
inline constexpr Cp1250Text kCardLibraryError = "Chyba volání knihovny VODRA_OX952.";
inline constexpr Cp1250Text kNoVodraCard = "Nenalezena žádná karta VODRA.";
inline constexpr Cp1250Text kNoFamilyCard = "Nenalezena žádná karta LVK-5120B,C,E.";
inline constexpr Cp1250Text kRequestedCardMissing = "Nenalezena požadovaná karta LVK-5120B,C,E.";
inline constexpr Cp1250Text kCardInUse = "Kartu LVK nelze otevřít, je použita jinou aplikací.";

// Monitor window.
inline constexpr Cp1250Text kWindowCaption = "  LVK-5120x - QV ovladač";
inline constexpr Cp1250Text kDemoSuffix = "  (DEMO REŽIM)";
inline constexpr Cp1250Text kWindowTitle = "QV ovladač LVK-5120x";
inline constexpr Cp1250Text kWindowVersion = "v.1.00";
inline constexpr Cp1250Text kGroupSelectedCard = " Vybraná karta ";
inline constexpr Cp1250Text kGroupRegisters = " Hodnoty registrů ";
inline constexpr Cp1250Text kCardTypeLabel = "Typ karty (pozice BUS / SLOT)";

}  // namespace qv::text
