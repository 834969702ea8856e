// The words of the option language, written once: each keyword with its
// aliases, the words its arguments may be, and the length units with their
// factors. The plug-in's parsers and the host kit's set-up reader both read
// them here, so that a word added to the language is added for both.
// Keywords and words are matched without regard to case.
#pragma once

namespace optionwords {

// A keyword with its aliases, or the spellings of one argument word; the
// list ends at the first null entry.
struct Words {
    const char* list[5];
};

// Whether the word is one of the spellings, by the caller's comparison (the
// plug-in's and the kit's each compare their own kind of text).
template <typename Word, typename Same>
bool isOneOf(const Word& word, const Words& spellings, Same same) {
    for (const char* spelling : spellings.list)
        if (spelling && same(word, spelling)) return true;
    return false;
}

// The device's own options.
constexpr Words port{{"port", "serialport"}};
constexpr Words baud{{"baud", "baudrate"}};
constexpr Words reset{{"reset"}};
constexpr Words dataUnit{{"devdataunit"}};
constexpr Words trackers{{"sensors", "sensor", "trackers", "tracker"}};
constexpr Words controllers{{"wands", "wand", "controllers", "controller"}};
constexpr Words reconnect{{"reconnect"}};
constexpr Words capture{{"capture"}};

// The tracker stations' corrections and order.
constexpr Words transmitterOffset{{"transmitteroffset"}};
constexpr Words transmitterRotation{{"transmitterrotation"}};
constexpr Words transmitterRotationMatrix{{"transmitterrotationmatrix"}};
constexpr Words sensorOffset{{"sensoroffset"}};
constexpr Words sensorTranslation{{"sensortranslation"}};
constexpr Words sensorRotation{{"sensorrotation"}};
constexpr Words sensorRotationMatrix{{"sensorrotationmatrix"}};
constexpr Words calibration{{"calibration", "calib"}};
constexpr Words trackerOrder{{"trackerorder", "unitorder", "order"}};
constexpr Words caveCoordinates{{"cavecoord", "cavecoordinates"}};

// The controller stations' mapping and order.
constexpr Words emulateTracker{{"emulatetracker"}};
constexpr Words valuatorOrder{{"valuatororder"}};
constexpr Words buttonOrder{{"buttonorder"}};
constexpr Words valuatorScale{{"valuatorscale"}};
constexpr Words controllerOrder{{"controllerorder", "unitorder", "order"}};

// Every keyword above, for readers that walk the language.
constexpr const Words* everyKeyword[] = {
    &port, &baud, &reset, &dataUnit, &trackers, &controllers, &reconnect, &capture,
    &transmitterOffset, &transmitterRotation, &transmitterRotationMatrix, &sensorOffset, &sensorTranslation,
    &sensorRotation, &sensorRotationMatrix, &calibration, &trackerOrder, &caveCoordinates,
    &emulateTracker, &valuatorOrder, &buttonOrder, &valuatorScale, &controllerOrder};

// Argument words: a switch, the tracker's data unit, every item of a list.
constexpr Words switchedOn{{"yes", "on"}};
constexpr Words switchedOff{{"no", "off"}};
constexpr Words inchUnit{{"in", "inch", "inches"}};
constexpr Words centimetreUnit{{"cm", "centimeter", "centimeters"}};
constexpr Words everyItem{{"all"}};

// The filter settings the reference host's own key `filter` names.
constexpr Words headFilter{{"head"}};
constexpr Words wandFilter{{"wand"}};

// Lengths: poses are published in feet.
constexpr float feetPerInch = 0.083333336f;
constexpr float feetPerCentimetre = 0.0328084f;
constexpr float feetPerMetre = 3.28084f;
constexpr double metresPerFoot = 0.3048;
constexpr double centimetresPerInch = 2.54;

// The unit word that may end an offset or a translation, with its factor to feet.
struct LengthUnit {
    const char* word;
    float feet;
};
constexpr LengthUnit lengthUnits[] = {
    {"feet", 1.0f}, {"inches", feetPerInch}, {"meters", feetPerMetre}, {"m", feetPerMetre}, {"cm", feetPerCentimetre}};

} // namespace optionwords
