-- Directory scans inside archives: the tree seen in a flat entry list.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local DATE = "17-May-2020 10:30:00"
local arc = T.path("tree.zip")
T.pyzip(arc, {
  {"docs/", ""}, {"docs/a.txt", "alpha"}, {"docs/img/b.png", "png!"},
  {"readme.txt", "read me"}, {"src/main.c", "int main;"},
})

T.case("listed entries carry their own dates and sizes; an implicit directory has today's", function()
  local list = host.listdir(arc)
  T.eq(list[1].time, DATE, "docs has its own entry's date")
  T.eq(list[2].time, DATE, "file date")
  T.eq(list[2].size, 7, "file size")
  T.eq(list[2].flags, 15, "flags")
  T.eq(list[3].time:sub(8, 11), os.date("%Y"), "implicit src gets the current date, not the archive's")
  T.eq(list[3].size, 0, "implicit size")
end)

T.case("which directories scan, what they list, how they stat", function()
  local p = T.path("cases.zip")
  T.pyzip(p, {{"Data/x", "1"}, {"data/y", "2"}, {"data/x", "3"}, {"Grüße/x", "4"}, {"\u{212A}.txt", "5"}})
  local cases = {  -- path, listing (nil: not served), stat name (false: no stat of its own)
    {arc, "directory:docs file:readme.txt directory:src", false},  -- in order of first appearance
    {arc .. "/docs", "file:a.txt directory:img", arc .. "/docs"},
    {arc .. "/docs/", "file:a.txt directory:img", arc .. "/docs"},
    {arc .. "\\docs\\img", "file:b.png", false},
    {arc .. "/src", "file:main.c", false},
    {arc .. "/Docs"}, {arc .. "/nothing"}, {arc .. "/readme.txt"},
    {p, "directory:Data directory:data directory:Grüße file:\u{212A}.txt", false}, {p .. "/data", "file:y file:x", false},
  }
  for _, c in ipairs(cases) do
    local d = host.opendir(c[1])
    if not c[2] then
      T.eq(d, nil, c[1] .. " is not served")
    else
      T.eq(d:servedby(), "Zip", c[1])
      local list = {}
      for e in function() return d:next() end do list[#list + 1] = e.type .. ":" .. e.name end
      T.eq(table.concat(list, " "), c[2], c[1])
      local s = d:stat({fullname = true})
      T.eq(s and s.name or false, c[3], c[1] .. " stat")
      if s then T.ok(s.type == "directory" and s.time == DATE, "stat fields") end
      d:close()
    end
  end
  T.eq(host.readfile(arc .. "/DOCS/A.TXT"), "alpha", "file opening ignores case")
  T.eq(host.readfile(p .. "/GRÜẞE/X") .. host.readfile(p .. "/K.TXT"), "45", "by Unicode simple case folding")
  T.eq(host.writefile(p .. "/GRÜßE", "x"), false, "no file over a folder of that name in other case")
end)

T.case("a scan lists each child once, only children that open or scan, and no name that climbs", function()
  local p = T.path("odd.zip")
  T.pyzip(p, {{"win\\dir\\f.txt", "W"}, {"/etc/x", "E"}, {"a//b.txt", "B"}, {"t.txt", "1"}, {"t.txt", "2"},
    {string.rep("L", 1100), "L"}, {"deep/" .. string.rep("m", 1019), "M"}, {"deep/" .. string.rep("n", 1018) .. "/x", "N"},
    {"../up.txt", "U"}, {"..\\w", "V"}, {"c/./d", "D"}, {"c/../e", "F"}})
  for _, name in ipairs({"../up.txt", "../w", "a//b.txt", "a", "c", "c/./d", "c/../e", "/etc/x"}) do
    T.eq(host.stat(p .. "/" .. name), nil, name)
    T.eq(host.open(p .. "/" .. name), nil, name)
    T.eq(host.rename(p .. "/" .. name, "z"), false, name)
  end
  T.readBack(p, function() T.eq(zip.GetFileAtIndex(2, 8), "../up.txt", "reachable by index") end)
  local seen = {}
  local function walk(dir)
    for _, e in ipairs(assert(host.listdir(dir), dir)) do
      local path = dir .. "/" .. e.name
      if e.type == "directory" then
        seen[#seen + 1] = path:sub(#p + 2) .. "/"
        walk(path)
      else
        seen[#seen + 1] = path:sub(#p + 2) .. "=" .. assert(host.readfile(path), path)
      end
    end
  end
  walk(p)
  T.eq(table.concat(seen, " "), "win/ win/dir/ win/dir/f.txt=W t.txt=1 deep/")
end)

T.case("rewind starts over after the last element; an archive without entries lists nothing", function()
  local d = assert(host.opendir(arc))
  while d:next() do end
  d:rewind()
  T.eq(d:next().name, "docs")
  d:close()
  T.pyzip(T.path("empty.zip"), {})
  T.eq(#host.listdir(T.path("empty.zip")), 0, "empty")
end)

T.finish()
