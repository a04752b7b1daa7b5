"""System lists: the names of a valid list, the library's message for a bad one."""
import pytest

import qmv3

LIST = """<?xml version="1.0"?>
<QMv3>
  <Name>Plant</Name>
  <ZantContext>PLANT</ZantContext>
  <ComponentList>
    <ImageSources>
      <ImageSource><NameID>Gate=7</NameID><SGPType>PCVision</SGPType></ImageSource>
      <ImageSource><NameID>Yard=3</NameID><SGPType>ProsilicaGigE</SGPType></ImageSource>
    </ImageSources>
    <SGPs>
      <SGP><Name>SgpNorth</Name><Type>PCVision</Type></SGP>
      <SGP><Name>SgpSouth</Name><Type>ProsilicaGigE</Type></SGP>
    </SGPs>
  </ComponentList>
</QMv3>
"""


def test_system_list(tmp_path):
    path = tmp_path / "system.xml"
    path.write_text(LIST)
    listed = qmv3.SystemList(path)
    assert (listed.context, listed.servers, listed.image_sources) == (
        "PLANT", ["SgpNorth", "SgpSouth"], {"Gate": 7, "Yard": 3})
    path.write_text(LIST.replace("Yard=3", "Yard"))
    with pytest.raises(qmv3.Error) as caught:
        qmv3.SystemList(path)
    assert str(caught.value).startswith("<ImageSources>/<ImageSource> #002 /NameID is malformed or invalid")
