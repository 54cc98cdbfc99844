#!/usr/bin/env python3
"""Writes registration/OfficeIntegrationLib.idl from the UC collaboration API type data.

Usage: gen_typelib_idl.py TYPES_JSON OUTPUT_IDL

TYPES_JSON describes every type info of the library (families, members in vtable
order, DISPIDs, parameter flags and defaults).  The library's own types have no
published help strings and UCCNumberNormalisationContact no published CLSID: both
are supplied here so that the output is reproducible.
"""
import json
import re
import sys

LIBRARY_HELP = None

# Short descriptions for the types that the published API does not describe.
OWN_HELP = {
    "ITVXExtensionProviderClassFactory": "Extension provider class factory",
    "ILog": "Writes log records of the host messenger",
    "ITransaction": "Read transaction on a contact",
    "IProviderManagement": "Signed-in user and sign-in state of the messenger",
    "IPhone": "Starts calls and phone conferences",
    "IIMAndPresence": "Instant messaging and presence of the messenger",
    "IContact": "A contact of the messenger",
    "_IContactEvents": "Events of a messenger contact",
    "IContacts": "Collection of messenger contacts",
    "IPresenceState": "Presence state of a messenger contact",
    "_IIMAndPresenceEvents": "Instant messaging and presence events",
    "IEventListenerManager": "Adds and removes event listeners",
    "LOG_LEVEL": "Severity of a log record",
    "CONTACT_CHANGED_PROPERTY": "Contact property that has changed",
    "PRESENCE_STATE": "Presence state of a contact",
    "OfficeIntegrationImpl": "Office IM provider",
    "ClassFactory": "Class object of the Office IM provider",
    "UCConstants": "UC collaboration constants",
    "UCCNumberNormalisationContact": "Contact created to normalise a phone number",
}

# No published CLSID exists for this coclass; this one is ours and must never change.
NUMBER_NORMALISATION_CLSID = "{836BE4D5-B308-495C-8123-BE4A1973B341}"
# The published API records no interface for it; it stands for a contact.
NUMBER_NORMALISATION_INTERFACE = "IUCCContact"

# Library order of the fifteen types that are not part of the UC collaboration API.
# The three enumerations sit before the first interface that uses them.
OWN_GROUP_ORDER = [
    "ITVXExtensionProviderClassFactory", "LOG_LEVEL", "ILog", "ITransaction",
    "IProviderManagement", "IPhone", "IIMAndPresence", "CONTACT_CHANGED_PROPERTY",
    "IContact", "_IContactEvents", "IContacts", "PRESENCE_STATE", "IPresenceState",
    "_IIMAndPresenceEvents", "IEventListenerManager",
]

# Types written after the group of fifteen, in this order.
TRAILING = ["IClassFactory", "UCCUCOfficeIntegration", "OfficeIntegrationImpl", "ClassFactory"]


def guid(text):
    return text.strip("{}")


def help_attr(t):
    text = t.get("help")
    if text is None and not t.get("help_known", True):
        text = OWN_HELP.get(t["name"])
    if text is None:
        return None
    return 'helpstring("%s")' % text.replace("\\", "\\\\").replace('"', '\\"')


def dispid(m):
    value = int(m["dispid"], 16)
    if value >= 0x80000000:
        return str(value - 0x100000000)
    return "0x%X" % value


class Writer:
    def __init__(self, data):
        self.data = data
        fam = data["families"]
        self.enums = fam["aliases_and_enums"]
        self.duals = fam["dual_interfaces"]
        self.disps = fam["dispinterfaces"]
        self.plain = fam["plain_interfaces"]
        self.coclasses = fam["coclasses"]
        self.module = fam["module"]
        self.interfaces = {t["name"]: t for t in self.duals + self.disps + self.plain}
        self.pointer_typedefs = set()
        self.out = []

    # ---- types -------------------------------------------------------------
    def idl_type(self, text):
        """Rewrites SAFEARRAY(IFoo*) as SAFEARRAY(IFooPtr): widl cannot parse a
        pointer inside SAFEARRAY(), a non-public typedef of it is transparent."""
        def repl(match):
            inner = match.group(1)
            if inner.endswith("*"):
                base = inner[:-1].strip()
                self.pointer_typedefs.add(base)
                return "SAFEARRAY(%sPtr)" % base
            return match.group(0)
        return re.sub(r"SAFEARRAY\(([^)]*)\)", repl, text)

    def param(self, p):
        flags = list(p["flags"])
        attrs = list(flags)
        if "default" in p and "out" not in flags:
            # An [out] default is stored as a VT_PTR value that oleaut32 rejects.
            if p.get("default_is_string"):
                attrs.append('defaultvalue("%s")' % p["default"])
            else:
                attrs.append("defaultvalue(%s)" % p["default"])
        prefix = "[%s] " % ", ".join(attrs) if attrs else ""
        ptype = self.idl_type(p["type"])
        return "%s%s %s" % (prefix, ptype, p["name"])

    def member(self, m, indent="        "):
        attrs = ["id(%s)" % dispid(m)]
        if m["invkind"] != "method":
            attrs.append(m["invkind"])
        params = ", ".join(self.param(p) for p in m["params"])
        return "%s[%s] %s %s(%s);" % (indent, ", ".join(attrs), m["returns"], m["name"], params)

    # ---- declarations ------------------------------------------------------
    def emit(self, line=""):
        self.out.append(line)

    def enum(self, t, alias=None):
        values = ",\n".join("        %s = %d" % (v["name"], v["value"]) for v in t["values"])
        if alias is not None:
            attrs = ["public"]
            h = help_attr(alias)
            if h:
                attrs.append(h)
            self.emit("    typedef [%s] enum {\n%s\n    } %s;" % (", ".join(attrs), values, alias["name"]))
        else:
            attrs = ["uuid(%s)" % guid(t["guid"])]
            h = help_attr(t)
            if h:
                attrs.append(h)
            # A non-public typedef keeps the enumeration as the only type info.
            self.emit("    typedef [%s] enum %s {\n%s\n    } %s;" % (", ".join(attrs), t["name"], values, t["name"]))
        self.emit()

    def interface(self, t):
        kind = t["kind"]
        attrs = []
        if kind != "dispinterface":
            attrs.append("object")
        attrs.append("uuid(%s)" % guid(t["guid"]))
        if kind == "dual_interface":
            attrs += ["dual", "nonextensible", "oleautomation"]
        elif "oleautomation" in t.get("attributes", []):
            attrs.append("oleautomation")
        h = help_attr(t)
        if h:
            attrs.append(h)
        self.emit("    [%s]" % ", ".join(attrs))
        if kind == "dispinterface":
            self.emit("    dispinterface %s {" % t["name"])
            self.emit("    properties:")
            self.emit("    methods:")
        else:
            self.emit("    interface %s : %s {" % (t["name"], t["base"]))
        for m in t["members"]:
            self.emit(self.member(m))
        self.emit("    };")
        self.emit()

    def coclass(self, t):
        attrs = ["uuid(%s)" % guid(t["guid"] or NUMBER_NORMALISATION_CLSID)]
        h = help_attr(t)
        if h:
            attrs.append(h)
        if t.get("type_flags") != ["can create"]:
            attrs.append("noncreatable")
        self.emit("    [%s]" % ", ".join(attrs))
        self.emit("    coclass %s {" % t["name"])
        interfaces = t["interfaces"] or [{"name": NUMBER_NORMALISATION_INTERFACE, "flags": ["default"]}]
        for i in interfaces:
            keyword = "dispinterface" if self.interfaces[i["name"]]["kind"] == "dispinterface" else "interface"
            flags = "[%s] " % ", ".join(i["flags"]) if i["flags"] else ""
            self.emit("        %s%s %s;" % (flags, keyword, i["name"]))
        self.emit("    };")
        self.emit()

    def module_decl(self, t):
        attrs = []
        h = help_attr(t)
        if h:
            attrs.append(h)
        self.emit("    [%s]" % ", ".join(attrs))
        self.emit("    module %s {" % t["name"])
        for c in t["constants"]:
            self.emit("        const %s %s = %d;" % (c["type"], c["name"], c["value"]))
        self.emit("    };")

    # ---- ordering ----------------------------------------------------------
    def ordered_interfaces(self, items):
        """Keeps the given order, except that a base interface must precede the
        interfaces derived from it for the C++ declarations."""
        result, seen = [], set()
        names = {t["name"] for t in items}

        def place(t):
            if t["name"] in seen:
                return
            base = t.get("base")
            if base in names and base not in seen:
                place(self.interfaces[base])
            seen.add(t["name"])
            result.append(t)

        for t in items:
            place(t)
        return result

    def write(self):
        lib = self.data["library"]
        own = set(OWN_GROUP_ORDER)
        trailing = set(TRAILING)
        by_name = {}
        for fam in (self.duals, self.disps, self.plain, self.coclasses):
            for t in fam:
                by_name[t["name"]] = t
        named_enums = {t["name"]: t for t in self.enums if t["kind"] == "enum" and not t.get("anonymous")}

        body = []
        self.out = body
        pairs = [t for t in self.enums if t["kind"] == "alias"]
        anonymous = {t["ordinal"]: t for t in self.enums if t.get("anonymous")}
        for alias in pairs:
            self.enum(anonymous[alias["aliased"]["anonymous_ordinal"]], alias)

        uc_interfaces = [t for t in self.duals + self.disps + self.plain
                         if t["name"] not in own and t["name"] not in trailing]
        for t in self.ordered_interfaces(uc_interfaces):
            self.interface(t)
        for t in self.coclasses:
            if t["name"] not in trailing:
                self.coclass(t)
        for name in OWN_GROUP_ORDER:
            if name in named_enums:
                self.enum(named_enums[name])
            else:
                self.interface(by_name[name])
        self.interface(by_name["IClassFactory"])
        for name in TRAILING[1:]:
            self.coclass(by_name[name])
        self.module_decl(self.module[0])

        major, minor = lib["version"].split(".")
        head = [
            "/*",
            " * OfficeIntegrationLib: the UC collaboration API through which Office talks",
            " * to its instant-messaging provider, and the provider's own types.",
            " * Generated by tools/gen_typelib_idl.py; edit the generator, not this file.",
            " */",
            "",
            'import "oaidl.idl";',
            'import "ocidl.idl";',
            "",
            "/* The build renames the system IClassFactory while the imports are read, so",
            "   that the library's own record of it keeps the name without clashing. */",
            "#undef IClassFactory",
            "",
        ]
        for name in [t["name"] for t in self.duals + self.disps + self.plain]:
            keyword = "dispinterface" if self.interfaces[name]["kind"] == "dispinterface" else "interface"
            head.append("%s %s;" % (keyword, name))
        head.append("")
        head.append("/* SAFEARRAY() cannot take a pointer type directly. */")
        for base in sorted(self.pointer_typedefs):
            head.append("typedef %s *%sPtr;" % (base, base))
        head.append("")
        head.append("[")
        head.append("    uuid(%s)," % guid(lib["libid"]))
        head.append("    version(%s.%s)" % (major, minor))
        head.append("]")
        head.append("library %s" % lib["name"])
        head.append("{")
        head.append('    importlib("stdole2.tlb");')
        head.append("")
        return "\n".join(head + body + ["};", ""])


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: gen_typelib_idl.py TYPES_JSON OUTPUT_IDL")
    with open(sys.argv[1], encoding="utf-8") as f:
        data = json.load(f)
    text = Writer(data).write()
    with open(sys.argv[2], "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    main()
