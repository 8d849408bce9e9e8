-- The attribute handler of archive objects: the entry count, and errors for
-- anything else.
local T = require("testlib")
require_plugin("zip")

local path = T.path("three.zip")
T.pyzip(path, {{"a", "1"}, {"b", "2"}, {"c", "3"}})
local function attribute(id, which) return host.getattribute(zip.GetObjectType(), id, which) end

T.case("ZIPATTRNUMENTRIES counts the entries", function()
  zip.OpenArchive(1, path)
  T.eq(attribute(1, ZIPATTRNUMENTRIES), 3, "entries")
  zip.CloseArchive(1)
end)

T.case("a deleted entry counts until the close", function()
  zip.OpenArchive(1, path, 1004)
  zip.DeleteFile(1, 1)
  T.eq(attribute(1, ZIPATTRNUMENTRIES), 3, "entries")
  zip.AddDirectory(1, "d")
  T.eq(attribute(1, ZIPATTRNUMENTRIES), 4, "added")
  zip.CloseArchive(1, 1)
end)

T.case("other attributes are not supported", function()
  zip.OpenArchive(1, path)
  T.err(function() attribute(1, 1) end, "Attribute not supported!")
  T.eq(host.lasterror(), 1080, "error number")
  T.err(function() attribute(1, ZIPATTRNUMENTRIES + 1) end, "Attribute not supported!")
  zip.CloseArchive(1)
end)

T.case("an unknown id is not found", function()
  T.err(function() attribute(9, ZIPATTRNUMENTRIES) end, "Cannot find specified zip archive!")
end)

T.finish()
