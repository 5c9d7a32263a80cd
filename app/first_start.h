#pragma once
// A first start where no search engine can answer (their hosts do not exist,
// or they need a key) offers, once, to crawl the sites of the public mirror
// lists instead of a search that would find nothing.
class wxWindow;

namespace qb {

class TD;

// True when the user took the offer: the lists are fetched off the UI thread
// and their sites crawled (explored without an index). Asked once ever.
bool OfferMirrorLists(TD* dialog);

// No engine of the current set can answer a search.
bool NoEngineCanAnswer();

}  // namespace qb
