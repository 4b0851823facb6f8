// Opens each package named on the command line with .NET's packaging API,
// the one AutoCAD reads its .cuix files with, and prints every part it
// gives: the package, the part's name, its length and its CRC-32, a line
// each. Mono's reader gives an empty stream for an entry whose CRC does not
// match instead of failing, so the caller compares these with the zip's own.
using System;
using System.IO;
using System.IO.Packaging;

static class PackageReader {
    static uint[] table = MakeTable();

    static uint[] MakeTable() {
        var t = new uint[256];
        for (uint n = 0; n < 256; n++) {
            uint c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }

    static uint Crc(byte[] data) {
        uint c = 0xFFFFFFFFu;
        foreach (byte b in data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
        return c ^ 0xFFFFFFFFu;
    }

    static int Main(string[] args) {
        foreach (string file in args) {
            using (Package package = Package.Open(file, FileMode.Open, FileAccess.Read)) {
                foreach (PackagePart part in package.GetParts()) {
                    var bytes = new MemoryStream();
                    using (Stream s = part.GetStream(FileMode.Open, FileAccess.Read)) s.CopyTo(bytes);
                    byte[] data = bytes.ToArray();
                    Console.WriteLine(file + "\t" + part.Uri.OriginalString + "\t" + data.Length + "\t" +
                                      Crc(data).ToString("x8"));
                }
            }
        }
        return 0;
    }
}
