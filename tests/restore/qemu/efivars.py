"""Reads and writes the variables of an OVMF variable store file (the
OVMF_VARS*.fd files): a firmware volume header, the variable store header
of the authenticated-variable format, then one AUTHENTICATED_VARIABLE_HEADER
record after another, each followed by its UTF-16 name and its data, the
next record starting 4-byte aligned. Flash-style bookkeeping: a record is
never rewritten, its State byte only loses bits (0x3F added, 0x3D deleted),
and a changed variable is a new record at the end.

The test arms the next boot with it as the firmware would take it from
bcdedit (a Boot#### load option and BootNext), and reads the store back
after the boot.

Usage: efivars.py STORE [list]       lists the valid variables
       efivars.py STORE keys         subjects of the certificates in PK, KEK, db
"""
import struct
import sys
import uuid

EFI_GLOBAL = "8BE4DF61-93CA-11D2-AA0D-00E098032B8C"
IMAGE_SECURITY = "D719B2CB-3D3A-4596-A3BC-DAD00E67656F"  # db, dbx
NV_DATA_FV = "FFF12B8D-7696-4C8B-A985-2747075B4F50"
AUTH_STORE = "AAF32C78-947B-439A-A180-2E144EC37792"
CERT_X509 = "A5C059A1-94E4-4AA7-87B5-AB155C2BF072"

NON_VOLATILE, BOOTSERVICE_ACCESS, RUNTIME_ACCESS = 1, 2, 4
NV_BS_RT = NON_VOLATILE | BOOTSERVICE_ACCESS | RUNTIME_ACCESS
TIME_BASED_AUTHENTICATED_WRITE_ACCESS = 0x20

START_ID = 0x55AA
VAR_ADDED = 0x3F
VAR_DELETED = 0xFD  # bit cleared when a record is deleted
VAR_IN_DELETED_TRANSITION = 0xFE

# AUTHENTICATED_VARIABLE_HEADER: StartId, State, Reserved, Attributes,
# MonotonicCount, TimeStamp (EFI_TIME), PubKeyIndex, NameSize, DataSize,
# VendorGuid.
HEADER = struct.Struct("<HBBIQ16sIII16s")
assert HEADER.size == 60
STORE_HEADER = struct.Struct("<16sIBBHI")  # Signature, Size, Format, State
assert STORE_HEADER.size == 28
LOAD_OPTION_ACTIVE = 1


def guid_bytes(text):
    return uuid.UUID(text).bytes_le


def guid_text(raw):
    return str(uuid.UUID(bytes_le=bytes(raw))).upper()


class Variable:
    def __init__(self, offset, state, attributes, name, guid, data):
        self.offset, self.state, self.attributes = offset, state, attributes
        self.name, self.guid, self.data = name, guid, data

    def __repr__(self):
        return "%s-%s attr=0x%x %d bytes" % (self.guid, self.name, self.attributes, len(self.data))


class VarStore:
    def __init__(self, path):
        self.path = path
        self.raw = bytearray(open(path, "rb").read())
        raw = self.raw
        if raw[0x28:0x2C] != b"_FVH" or guid_text(raw[0x10:0x20]) != NV_DATA_FV:
            raise ValueError("%s: no NV data firmware volume" % path)
        self.store = struct.unpack_from("<H", raw, 0x30)[0]
        sig, size, fmt, state, _, _ = STORE_HEADER.unpack_from(raw, self.store)
        if guid_text(sig) != AUTH_STORE or fmt != 0x5A or state != 0xFE:
            raise ValueError("%s: no healthy authenticated variable store" % path)
        self.end = self.store + size
        self.records, self.free = self._scan()

    def _scan(self):
        records = []
        at = _align4(self.store + STORE_HEADER.size)
        while at + HEADER.size <= self.end:
            start, state, _, attrs, _, _, _, name_size, data_size, guid = HEADER.unpack_from(self.raw, at)
            if start != START_ID:
                break
            name_at = at + HEADER.size
            name = self.raw[name_at:name_at + name_size].decode("utf-16-le").rstrip("\0")
            data = bytes(self.raw[name_at + name_size:name_at + name_size + data_size])
            records.append(Variable(at, state, attrs, name, guid_text(guid), data))
            at = _align4(name_at + name_size + data_size)
        return records, at

    def variables(self):
        """The valid variables: added records, and records caught in the
        middle of a deletion when no added copy exists (as the firmware
        reads them)."""
        added = [r for r in self.records if r.state == VAR_ADDED]
        keys = {(r.name, r.guid) for r in added}
        half = [r for r in self.records if r.state == VAR_ADDED & VAR_IN_DELETED_TRANSITION
                and (r.name, r.guid) not in keys]
        return sorted(added + half, key=lambda r: r.offset)

    def get(self, name, guid=EFI_GLOBAL):
        found = [v for v in self.variables() if v.name == name and v.guid == guid.upper()]
        return found[-1] if found else None

    def _delete(self, name, guid):
        for v in self.variables():
            if v.name == name and v.guid == guid.upper():
                self.raw[v.offset + 2] &= VAR_DELETED
                v.state &= VAR_DELETED

    def set(self, name, data, guid=EFI_GLOBAL, attributes=NV_BS_RT):
        """Adds a non-authenticated variable at the end of the store and
        marks any older record of it deleted, as the firmware's own
        SetVariable does."""
        assert not attributes & TIME_BASED_AUTHENTICATED_WRITE_ACCESS
        encoded = (name + "\0").encode("utf-16-le")
        record = HEADER.pack(START_ID, VAR_ADDED, 0, attributes, 0, bytes(16), 0,
                             len(encoded), len(data), guid_bytes(guid)) + encoded + data
        if self.free + len(record) > self.end:
            raise ValueError("the variable store is full")
        if any(b != 0xFF for b in self.raw[self.free:self.free + len(record)]):
            raise ValueError("the free part of the variable store is not erased")
        self._delete(name, guid)
        self.raw[self.free:self.free + len(record)] = record
        self.records.append(Variable(self.free, VAR_ADDED, attributes, name, guid.upper(), data))
        self.free = _align4(self.free + len(record))

    def delete(self, name, guid=EFI_GLOBAL):
        self._delete(name, guid)

    def save(self, path=None):
        with open(path or self.path, "wb") as f:
            f.write(self.raw)

    # Boot manager variables.
    def boot_order(self):
        v = self.get("BootOrder")
        return list(struct.unpack("<%dH" % (len(v.data) // 2), v.data)) if v else None

    def boot_next(self):
        v = self.get("BootNext")
        return struct.unpack("<H", v.data)[0] if v else None

    def free_boot_number(self):
        used = {int(v.name[4:], 16) for v in self.variables()
                if v.guid == EFI_GLOBAL and len(v.name) == 8 and v.name.startswith("Boot")
                and all(c in "0123456789ABCDEF" for c in v.name[4:])}
        return next(n for n in range(0x10000) if n not in used)

    def arm_next_boot(self, description, device_path):
        """A Boot#### load option for DEVICE_PATH and BootNext naming it;
        BootOrder stays as it is (bcdedit's {fwbootmgr} bootsequence does the
        same). Returns the option's number."""
        number = self.free_boot_number()
        self.set("Boot%04X" % number, load_option(description, device_path))
        self.set("BootNext", struct.pack("<H", number))
        return number

    def boot_options(self):
        """{number: (description, device path text)} of every Boot####."""
        out = {}
        for v in self.variables():
            if v.guid == EFI_GLOBAL and len(v.name) == 8 and v.name.startswith("Boot"):
                try:
                    number = int(v.name[4:], 16)
                except ValueError:
                    continue
                out[number] = parse_load_option(v.data)
        return out

    # Secure Boot keys.
    def certificates(self, name, guid):
        """Subjects (common names) of the X.509 certificates in an
        EFI_SIGNATURE_LIST variable such as PK, KEK or db."""
        v = self.get(name, guid)
        return [certificate_name(c) for c in signature_list_certificates(v.data)] if v else []

    def secure_boot_keys(self):
        return {"PK": self.certificates("PK", EFI_GLOBAL),
                "KEK": self.certificates("KEK", EFI_GLOBAL),
                "db": self.certificates("db", IMAGE_SECURITY)}


def _align4(n):
    return (n + 3) & ~3


# Device paths and load options.
def hd_node(number, start_lba, size_lba, signature_guid):
    """MEDIA_DEVICE_PATH / HARDDRIVE_DP for a GPT partition: partition
    format 2 (GPT), signature type 2 (GUID)."""
    body = struct.pack("<IQQ16sBB", number, start_lba, size_lba, guid_bytes(signature_guid), 2, 2)
    return struct.pack("<BBH", 4, 1, 4 + len(body)) + body


def file_node(path):
    body = (path + "\0").encode("utf-16-le")
    return struct.pack("<BBH", 4, 4, 4 + len(body)) + body


END_NODE = struct.pack("<BBH", 0x7F, 0xFF, 4)


def load_option(description, device_path, optional=b"", attributes=LOAD_OPTION_ACTIVE):
    """EFI_LOAD_OPTION: Attributes, FilePathListLength, Description,
    FilePathList, OptionalData."""
    return (struct.pack("<IH", attributes, len(device_path)) +
            (description + "\0").encode("utf-16-le") + device_path + optional)


def parse_device_path(data):
    nodes, at = [], 0
    while at + 4 <= len(data):
        kind, sub, length = struct.unpack_from("<BBH", data, at)
        body = data[at + 4:at + length]
        if (kind, sub) == (0x7F, 0xFF) or length < 4:
            break
        if (kind, sub) == (4, 1):
            number, start, size, sig, fmt, sig_type = struct.unpack("<IQQ16sBB", body)
            nodes.append("HD(%d,%s,%s,0x%X,0x%X)" % (number, "GPT" if fmt == 2 else "MBR",
                                                     guid_text(sig) if sig_type == 2 else sig[:4].hex(),
                                                     start, size))
        elif (kind, sub) == (4, 4):
            nodes.append(body.decode("utf-16-le").rstrip("\0"))
        else:
            nodes.append("(%d,%d)" % (kind, sub))
        at += length
    return "/".join(nodes)


def parse_load_option(data):
    _, path_length = struct.unpack_from("<IH", data, 0)
    end = 6
    while data[end:end + 2] != b"\0\0":
        end += 2
    description = data[6:end].decode("utf-16-le")
    path = data[end + 2:end + 2 + path_length]
    return description, parse_device_path(path)


# EFI signature lists and the names in their certificates.
def signature_list_certificates(data):
    certs, at = [], 0
    while at + 28 <= len(data):
        sig_type = guid_text(data[at:at + 16])
        list_size, header_size, sig_size = struct.unpack_from("<III", data, at + 16)
        if list_size < 28 or sig_size < 16:
            break
        entry = at + 28 + header_size
        while entry + sig_size <= at + list_size:
            if sig_type == CERT_X509:
                certs.append(data[entry + 16:entry + sig_size])  # after SignatureOwner
            entry += sig_size
        at += list_size
    return certs


def _der(data, at):
    """(tag, content start, content end) of the DER element at AT."""
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, at, at + length


def certificate_name(der):
    """The subject's common name (or the whole subject's last string)."""
    _, cert, _ = _der(der, 0)
    _, tbs, tbs_end = _der(der, cert)
    fields, at = [], tbs
    while at < tbs_end:
        tag, start, end = _der(der, at)
        fields.append((tag, start, end))
        at = end
    if fields[0][0] == 0xA0:  # explicit version
        fields = fields[1:]
    _, start, end = fields[4]  # serial, signature, issuer, validity, subject
    name, at = None, start
    while at < end:  # SET { SEQ { OID, value } }
        _, set_start, set_end = _der(der, at)
        _, seq_start, _ = _der(der, set_start)
        _, oid_start, oid_end = _der(der, seq_start)
        _, value_start, value_end = _der(der, oid_end)
        if der[oid_start:oid_end] == b"\x55\x04\x03" or name is None:
            name = der[value_start:value_end].decode("utf-8", "replace")
        at = set_end
    return name


def main(argv):
    store = VarStore(argv[1])
    what = argv[2] if len(argv) > 2 else "list"
    if what == "keys":
        for name, subjects in store.secure_boot_keys().items():
            print("%s: %s" % (name, "; ".join(subjects)))
        return 0
    for v in store.variables():
        print(v)
    print("BootOrder:", store.boot_order(), "BootNext:", store.boot_next())
    for number, (description, path) in sorted(store.boot_options().items()):
        print("Boot%04X %s: %s" % (number, description, path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
