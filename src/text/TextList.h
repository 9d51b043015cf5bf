// TextList: the list object that VMString::Split fills, supplied by users of
// the framework. Only PrepareList (slot 35) and AppendItem (slot 47) are ever
// called; the reserved members keep their slots so that the called ones sit
// where callers expect them. The system itself implements no list.
#pragma once

class VMString;

class TextList {
  public:
    virtual ~TextList() = default; // slot 0
    virtual void Reserved1() {}
    virtual void Reserved2() {}
    virtual void Reserved3() {}
    virtual void Reserved4() {}
    virtual void Reserved5() {}
    virtual void Reserved6() {}
    virtual void Reserved7() {}
    virtual void Reserved8() {}
    virtual void Reserved9() {}
    virtual void Reserved10() {}
    virtual void Reserved11() {}
    virtual void Reserved12() {}
    virtual void Reserved13() {}
    virtual void Reserved14() {}
    virtual void Reserved15() {}
    virtual void Reserved16() {}
    virtual void Reserved17() {}
    virtual void Reserved18() {}
    virtual void Reserved19() {}
    virtual void Reserved20() {}
    virtual void Reserved21() {}
    virtual void Reserved22() {}
    virtual void Reserved23() {}
    virtual void Reserved24() {}
    virtual void Reserved25() {}
    virtual void Reserved26() {}
    virtual void Reserved27() {}
    virtual void Reserved28() {}
    virtual void Reserved29() {}
    virtual void Reserved30() {}
    virtual void Reserved31() {}
    virtual void Reserved32() {}
    virtual void Reserved33() {}
    virtual void Reserved34() {}
    // Called once before the parts are appended: (-parts, -1, none), or
    // (0, -1, none) for a null text. What the list makes of it is its own affair.
    virtual void PrepareList(int sizeHint, int flags, void* context) = 0; // slot 35
    virtual void Reserved36() {}
    virtual void Reserved37() {}
    virtual void Reserved38() {}
    virtual void Reserved39() {}
    virtual void Reserved40() {}
    virtual void Reserved41() {}
    virtual void Reserved42() {}
    virtual void Reserved43() {}
    virtual void Reserved44() {}
    virtual void Reserved45() {}
    virtual void Reserved46() {}
    // Called once per part; the caller releases its own reference right after,
    // so a list that keeps the part must AddRef it.
    virtual void AppendItem(VMString* item) = 0; // slot 47
};
