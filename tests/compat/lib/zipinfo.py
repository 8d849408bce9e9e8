"""Lists a ZIP archive as python's zipfile reads it, one entry a line:
hex(name) size crc method encryption date, where method is the real
compression method (also for WinZip AES entries) and encryption is
libzip's number for the encryption method (0 none, 1 traditional PKWARE,
257/258/259 AES-128/192/256)."""
import struct
import sys
import zipfile

MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()


def aes_extra(extra):
    """(strength, method) of a WinZip AES extra field, or None."""
    pos = 0
    while pos + 4 <= len(extra):
        tag, size = struct.unpack("<HH", extra[pos:pos + 4])
        body = extra[pos + 4:pos + 4 + size]
        if tag == 0x9901 and size >= 7:
            return body[4], struct.unpack("<H", body[5:7])[0]
        pos += 4 + size
    return None


def describe(info):
    method = info.compress_type
    encryption = 0
    if info.flag_bits & 1:
        encryption = 1
        aes = aes_extra(info.extra)
        if aes:
            encryption = 256 + aes[0]
            method = aes[1]
    y, mo, d, h, mi, s = info.date_time
    date = "%02d-%s-%d %02d:%02d:%02d" % (d, MONTHS[mo - 1], y, h, mi, s)
    return "%s %d %d %d %d %s" % (info.filename.encode().hex(), info.file_size, info.CRC, method, encryption, date)


with zipfile.ZipFile(sys.argv[1]) as archive:
    for entry in archive.infolist():
        print(describe(entry))
