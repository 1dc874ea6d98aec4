#pragma once

#include "common/RecordingStatus.h"
#include "common/UnsavedClipOffer.h"

#include <QFont>
#include <QString>
#include <QUrl>
#include <vector>

// The texts of the status line, as plain functions so they can be checked without widgets.
namespace backreel {

// "Ready", "Recording…" (with its note in brackets when it has one), "Saving…", "Saved!" or the
// error message unchanged.
QString statusTitle(const RecordingStatus& status);

// The offer for a clip that is not saved, in the status line and the menu: "Save Again…" or
// "Save What Was Buffered…"; empty for none.
QString unsavedClipOfferTitle(UnsavedClipOffer offer);

// What tells unsaved clips apart: their length and when they were kept, "(8 s, 14:07)".
QString unsavedClipDetails(const UnsavedClipInfo& clip);
// The main window's line while unsaved clips are kept: "Unsaved (8 s, 14:07)", or with more
// "3 unsaved, newest (8 s, 14:07)". Its buttons act on the newest. Empty for none.
QString unsavedClipsLine(const std::vector<UnsavedClipInfo>& clips);

// The line that counts the clips Save Clip has cut and not yet saved: "Saving… (1 clip)",
// "Saving… (3 clips)".
QString clipSavesProgressText(int pending);

// The status line's line about Save Clip: the count while clips are being saved, else how the last
// one ended ("Saved " and its file name, or the failure's message) while `showOutcome`; empty
// when there is nothing to say.
QString clipSavesLine(int pending, const RecordingStatus& lastOutcome, bool showOutcome);

// The last path component of a saved file's location, shown verbatim.
QString savedFileName(const QUrl& location);

// `text` laid out in `font` at most `width` pixels wide, on at most `maxLines` lines joined by
// '\n': words wrap as a paragraph would, and what does not fit on the last line is cut with "…".
QString wrappedText(const QString& text, const QFont& font, int width, int maxLines);

// `text` on one line at most `width` pixels wide, shortened in the middle so that its start and
// its end stay visible.
QString middleElidedText(const QString& text, const QFont& font, int width);

// `text` for a button or menu item, which would take an '&' as the mark of a shortcut key: every
// '&' doubled, so it is shown as it is and no shortcut is made.
QString literalMnemonicText(QString text);

} // namespace backreel
