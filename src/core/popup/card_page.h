#pragma once
// The page of the card area, composed from three HTML templates (CP932): the
// page with two card slots, a card, and an empty card. Qt-free.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/popup/card_record.h"

namespace velmora {

struct CardTemplates {
    std::string page;       // resource 168: %s left card, %s right card
    std::string card;       // resource 172: %d slot, %s picture, %s link, %d slot,
                            //               %s link, %s headline, %s link, %s detail
    std::string emptyCard;  // resource 175: %d slot
};

// Fills %s and %d in order from `args` (both take the next text, missing ones
// give nothing) and turns %% into %. The arguments are inserted as they are and
// never read as formats; the result grows as needed.
std::string FormatTemplate(std::string_view format, std::initializer_list<std::string_view> args);

// A fresh random value for the page's Content-Security-Policy, 32 hex digits.
std::string NewPageNonce();

// The policy the page carries: only scripts with `nonce` run, pictures come
// from http, https and the program's own "res" scheme.
std::string CardPagePolicy(std::string_view nonce);

// The templates' own script elements get the nonce; text of a feed, inserted
// later, never does.
std::string AddScriptNonce(std::string_view html, std::string_view nonce);

// Left card: item `page`, right card: item `page` + 1, each an empty card when
// there is no such item. Headline and detail go in as they are (their markup is
// rendered, their scripts are not run); link and picture are escaped for where
// the card template puts them and only web addresses or the placeholder are kept.
std::string ComposePage(const CardTemplates& templates, const std::vector<CardRecord>& items,
                        std::size_t page, std::string_view nonce);

// The same page for a renderer that enforces no Content-Security-Policy: no
// policy and no nonce; headline and detail go in as their plain words
// (CardPlainText), escaped, so that no feed text adds markup or script.
std::string ComposeTextOnlyPage(const CardTemplates& templates,
                                const std::vector<CardRecord>& items, std::size_t page);

}  // namespace velmora
