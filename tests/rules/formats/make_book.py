# Builds book.fods (flat OpenDocument spreadsheet) with three sheets; then
#   soffice --headless --convert-to xls book.fods
#   soffice --headless --convert-to xlsx book.fods
# make the workbooks the reader tests use (book.xls, book.xlsx).
from xml.sax.saxutils import escape
def cell(v):
    if v is None or v == '': return '<table:table-cell/>'
    if isinstance(v, tuple):  # ('date', '2023-05-17')
        kind, val = v
        if kind == 'date':
            return f'<table:table-cell table:style-name="d" office:value-type="date" office:date-value="{val}"><text:p>{val}</text:p></table:table-cell>'
    if isinstance(v, (int, float)):
        return f'<table:table-cell office:value-type="float" office:value="{v}"><text:p>{v}</text:p></table:table-cell>'
    return f'<table:table-cell office:value-type="string"><text:p>{escape(v)}</text:p></table:table-cell>'
def table(name, rows):
    s = f'<table:table table:name="{escape(name)}">'
    for r in rows:
        s += '<table:table-row>' + ''.join(cell(v) for v in r) + '</table:table-row>'
    return s + '</table:table>'
D = lambda x: ('date', x)
sheets = [
 ('客户资料', [
   ['联系人','电话','手机','公司名称','地址','email','邮编','建档日期','备注'],
   ['张三','010-88886666',13800138000,'北京星光公司','北京市海淀区中关村大街1号','zs@example.com',100080,D('2023-05-17'),'老客户'],
   ['李四','',13912345678,'上海明月公司','','ls@example.com',200000,D('2024-01-02'),''],
   ['','','','','','','','','只有备注'],
   ['王五','0755-12345678',13700001111,'深圳海风公司','深圳市南山区','ww@example.com',518000,D('2022-12-31'),'新客户'],
   ['赵六','',2.5,'','','','','',''],
 ]),
 ('空表', []),
 ('宽 表', [['列%d'%i for i in range(1,76)], ['甲%d'%i for i in range(1,76)], ['乙%d'%i for i in range(1,76)]]),
]
body = ''.join(table(n, r) for n, r in sheets)
open('book.fods','w').write(f'''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles><number:date-style style:name="N1"><number:year number:style="long"/><number:text>-</number:text><number:month/><number:text>-</number:text><number:day/></number:date-style><style:style style:name="d" style:family="table-cell" style:data-style-name="N1"/></office:automatic-styles>
<office:body><office:spreadsheet>{body}</office:spreadsheet></office:body></office:document>''')
